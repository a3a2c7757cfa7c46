#include "station_source.h"

#include <cctype>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "files.h"
#include "station_ids.h"
#include "station_json.h"
#include "station_playlist.h"

namespace stationdir {

namespace {

constexpr std::size_t kTopGenres = 60;
// A saved export of the whole Radio Browser list is some tens of MB.
constexpr std::size_t kMaxFileBytes = 256u << 20;

std::time_t modificationTime(const std::string &path)
{
    struct stat st
    {};
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

bool endsWith(const std::string &s, const std::string &suffix)
{
    if (s.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i])
            return false;
    return true;
}

std::string baseName(const std::string &path)
{
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

enum class Format { Tsv, Json, M3u, Pls };

Format formatOf(const std::string &path)
{
    if (endsWith(path, ".json"))
        return Format::Json;
    if (endsWith(path, ".m3u") || endsWith(path, ".m3u8"))
        return Format::M3u;
    if (endsWith(path, ".pls"))
        return Format::Pls;
    return Format::Tsv;
}

class FileSource : public StationSource
{
public:
    FileSource(std::string path, const std::string &cacheDir, bool includeBroken)
        : path_(std::move(path)),
          format_(formatOf(path_)),
          includeBroken_(includeBroken),
          ids_(format_ == Format::Tsv || !makeDirs(cacheDir) ? std::string() : cacheDir + "/station-ids.tsv")
    {
    }

    bool start(std::string *error) override
    {
        if (!catalog()) {
            *error = "cannot read the station list " + path_ + (reason_.empty() ? "" : " (" + reason_ + ")");
            return false;
        }
        return true;
    }

    std::shared_ptr<const Catalog> catalog() override
    {
        // The file is editable: a changed file is read again on the next
        // request. A file that cannot be read keeps the list held.
        std::lock_guard<std::mutex> lock(mutex_);
        const std::time_t mtime = modificationTime(path_);
        if (!catalog_ || mtime != mtime_) {
            if (load())
                mtime_ = mtime;
        }
        return catalog_;
    }

    std::vector<std::string> warnings() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return warnings_;
    }

    std::string describe() const override { return path_; }

private:
    bool load()
    {
        std::ifstream file(path_, std::ios::binary);
        if (!file) {
            reason_ = "cannot open it";
            return false;
        }
        struct stat st
        {};
        if (stat(path_.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) {
            reason_ = "larger than " + std::to_string(kMaxFileBytes >> 20) + " MB";
            return false;
        }
        // A saved export is read as it comes; the other files are small.
        std::string text;
        if (format_ != Format::Json) {
            std::ostringstream buffer;
            buffer << file.rdbuf();
            text = buffer.str();
        }
        std::vector<Station> stations;
        std::vector<std::string> warnings;
        CatalogOptions options;
        std::size_t skipped = 0;
        switch (format_) {
        case Format::Tsv: {
            auto parsed = parseStationList(text);
            stations = std::move(parsed.stations);
            warnings = std::move(parsed.errors);
            break;
        }
        case Format::Json: {
            auto parsed = parseStationJson(file);
            if (!parsed.ok) {
                reason_ = parsed.error;
                return false;
            }
            stations = std::move(parsed.stations);
            skipped = parsed.skipped;
            options = radioBrowserCatalogOptions(includeBroken_);
            break;
        }
        case Format::M3u:
        case Format::Pls:
            stations = parsePlaylist(text, format_ == Format::M3u ? PlaylistFormat::M3u : PlaylistFormat::Pls,
                                     baseName(path_), &skipped);
            options.searchable = true;
            break;
        }
        if (skipped > 0)
            warnings.push_back(std::to_string(skipped) + " entries without a usable name or network address skipped");
        if (format_ != Format::Tsv && !ids_.assign(stations))
            warnings.push_back("cannot write the station id map in the cache folder");
        catalog_ = std::make_shared<const Catalog>(std::move(stations), options);
        warnings_ = std::move(warnings);
        return true;
    }

    std::string path_;
    Format format_;
    bool includeBroken_;
    StationIds ids_;
    std::mutex mutex_;
    std::shared_ptr<const Catalog> catalog_;
    std::time_t mtime_ = 0;
    std::vector<std::string> warnings_;
    std::string reason_;
};

}  // namespace

CatalogOptions radioBrowserCatalogOptions(bool includeBroken)
{
    CatalogOptions options;
    options.sortLocations = true;
    options.topGenres = kTopGenres;
    options.includeBroken = includeBroken;
    options.searchable = true;
    return options;
}

std::unique_ptr<StationSource> makeFileSource(const std::string &path, const std::string &cacheDir, bool includeBroken)
{
    return std::make_unique<FileSource>(path, cacheDir, includeBroken);
}

}  // namespace stationdir
