#include "station_json.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include <nlohmann/json.hpp>

#include "station_text.h"

namespace stationdir {

namespace {

constexpr std::size_t kMaxTagBytes = 400;
constexpr std::size_t kMaxTagsPerStation = 10;

bool validUuid(const std::string &s)
{
    return !s.empty() && s.size() <= 64
        && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isxdigit(c) || c == '-'; });
}

std::vector<std::string> splitTags(const std::string &text)
{
    std::vector<std::string> tags;
    std::string::size_type start = 0;
    while (start <= text.size() && tags.size() < kMaxTagsPerStation) {
        auto comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        std::string tag = boundedText(text.substr(start, comma - start), kMaxShortTextBytes);
        if (!tag.empty() && std::find(tags.begin(), tags.end(), tag) == tags.end())
            tags.push_back(std::move(tag));
        start = comma + 1;
    }
    return tags;
}

// The fields of one station object as they arrive; typed checks happen
// when the object ends.
struct RawStation
{
    std::string uuid, name, url, urlResolved, homepage, tags, country, countryCode;
    long long bitrate = 0, votes = 0;
    bool checkedOk = true;
};

class StationSax
{
public:
    StationSax(StationJsonResult &result, const StationJsonLimits &limits) : r_(result), limits_(limits) {}

    bool null() { return value(); }
    bool boolean(bool v)
    {
        if (atField() && key_ == "lastcheckok")
            raw_.checkedOk = v;
        return value();
    }
    bool number_integer(nlohmann::json::number_integer_t v) { return integer(v); }
    bool number_unsigned(nlohmann::json::number_unsigned_t v)
    {
        return integer(v > 1000000000ull ? 1000000000ll : static_cast<long long>(v));
    }
    bool number_float(nlohmann::json::number_float_t, const std::string &) { return value(); }
    bool string(std::string &v)
    {
        if (atField()) {
            static const struct
            {
                const char *key;
                std::string RawStation::*field;
            } fields[] = {{"stationuuid", &RawStation::uuid},  {"name", &RawStation::name},
                          {"url", &RawStation::url},           {"url_resolved", &RawStation::urlResolved},
                          {"homepage", &RawStation::homepage}, {"tags", &RawStation::tags},
                          {"country", &RawStation::country},   {"countrycode", &RawStation::countryCode}};
            for (const auto &f : fields)
                if (key_ == f.key)
                    raw_.*f.field = v.size() > 4 * kMaxAddressBytes ? std::string() : std::move(v);
        }
        return value();
    }
    bool binary(nlohmann::json::binary_t &) { return value(); }
    bool start_object(std::size_t)
    {
        if (!enter())
            return false;
        if (depth_ == 2)
            raw_ = RawStation{};
        else if (depth_ == 1)
            return fail("the answer is not an array of stations");
        return true;
    }
    bool key(std::string &k)
    {
        if (depth_ == 2)
            key_ = std::move(k);
        return true;
    }
    bool end_object()
    {
        if (depth_ == 2)
            finishStation();
        --depth_;
        key_.clear();
        return true;
    }
    bool start_array(std::size_t)
    {
        if (!enter())
            return false;
        if (depth_ == 2)
            ++r_.skipped;  // an array where a station belongs
        return true;
    }
    bool end_array()
    {
        --depth_;
        key_.clear();
        return true;
    }
    bool parse_error(std::size_t position, const std::string &, const nlohmann::detail::exception &)
    {
        return fail("not valid JSON (at byte " + std::to_string(position) + ")");
    }

    bool sawArray() const { return sawArray_; }

private:
    bool atField() const { return depth_ == 2 && !key_.empty(); }
    bool value()
    {
        if (depth_ == 0)
            return fail("the answer is not an array of stations");
        if (depth_ == 1)
            ++r_.skipped;  // a plain value where a station belongs
        if (depth_ == 2)
            key_.clear();
        return true;
    }
    bool integer(long long v)
    {
        if (atField()) {
            if (key_ == "bitrate")
                raw_.bitrate = v;
            else if (key_ == "votes")
                raw_.votes = v;
            else if (key_ == "lastcheckok")
                raw_.checkedOk = v != 0;
        }
        return value();
    }
    bool enter()
    {
        if (++depth_ > limits_.maxDepth)
            return fail("nested too deeply");
        if (depth_ == 1)
            sawArray_ = true;
        return true;
    }
    bool fail(std::string why)
    {
        if (r_.error.empty())
            r_.error = std::move(why);
        return false;
    }
    void finishStation()
    {
        Station s;
        s.uuid = validUuid(raw_.uuid) ? raw_.uuid : std::string();
        s.name = boundedText(raw_.name, kMaxNameBytes);
        s.stream = networkAddress(raw_.urlResolved);
        if (s.stream.empty())
            s.stream = networkAddress(raw_.url);
        if (s.uuid.empty() || s.name.empty() || s.stream.empty() || r_.stations.size() >= limits_.maxStations) {
            ++r_.skipped;
            return;
        }
        s.homepage = webAddress(raw_.homepage);
        s.location = boundedText(raw_.country, kMaxShortTextBytes);
        const std::string code = boundedText(raw_.countryCode, 2);
        if (code.size() == 2 && std::isalpha(static_cast<unsigned char>(code[0]))
            && std::isalpha(static_cast<unsigned char>(code[1]))) {
            s.countryCode = code;
            std::transform(s.countryCode.begin(), s.countryCode.end(), s.countryCode.begin(),
                           [](unsigned char c) { return std::toupper(c); });
        }
        if (s.location.empty())
            s.location = s.countryCode;
        s.tags = splitTags(boundedText(raw_.tags, kMaxTagBytes));
        for (const auto &tag : s.tags)
            s.genre += (s.genre.empty() ? "" : ", ") + tag;
        if (raw_.bitrate > 0 && raw_.bitrate < 100000)
            s.rate = std::to_string(raw_.bitrate) + "K";
        s.votes = static_cast<long>(std::clamp<long long>(raw_.votes, 0, 1000000000));
        s.checkedOk = raw_.checkedOk;
        r_.stations.push_back(std::move(s));
    }

    StationJsonResult &r_;
    const StationJsonLimits &limits_;
    std::size_t depth_ = 0;
    std::string key_;
    RawStation raw_;
    bool sawArray_ = false;
};

}  // namespace

namespace {

template <typename Iterator>
StationJsonResult parseRange(Iterator first, Iterator last, const StationJsonLimits &limits)
{
    StationJsonResult r;
    StationSax sax(r, limits);
    const bool parsed = nlohmann::json::sax_parse(first, last, &sax);
    if (!parsed || !sax.sawArray()) {
        if (r.error.empty())
            r.error = "the answer is not an array of stations";
        r.stations.clear();
        return r;
    }
    r.ok = true;
    return r;
}

}  // namespace

StationJsonResult parseStationJson(const std::string &text, const StationJsonLimits &limits)
{
    return parseRange(text.begin(), text.end(), limits);
}

StationJsonResult parseStationJson(std::istream &in, const StationJsonLimits &limits)
{
    return parseRange(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), limits);
}

std::vector<std::string> parseServerList(const std::string &text)
{
    std::vector<std::string> names;
    const auto doc = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!doc.is_array())
        return names;
    for (const auto &entry : doc) {
        if (!entry.is_object() || !entry.contains("name") || !entry["name"].is_string())
            continue;
        const std::string name = entry["name"].get<std::string>();
        const bool hostLike = !name.empty() && name.size() <= 255
            && std::all_of(name.begin(), name.end(),
                           [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == ':'; });
        if (hostLike && std::find(names.begin(), names.end(), name) == names.end() && names.size() < 32)
            names.push_back(name);
    }
    return names;
}

}  // namespace stationdir
