#include "directory_server.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>

#include <httplib.h>

#include "pages.h"
#include "station_text.h"

namespace stationdir {

namespace {

constexpr const char kHtml[] = "text/html; charset=utf-8";
// Listeners hold a worker for as long as they listen; pages must still be
// answered while a few streams run.
constexpr std::size_t kWorkerThreads = 32;
constexpr std::size_t kStreamChunk = 4096;

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// "/ap/x.asp" after a base address ending in "/" arrives as "//ap/x.asp";
// repeated slashes are read as one, as web servers commonly do.
std::string collapseSlashes(const std::string &path)
{
    std::string out;
    for (char c : path)
        if (c != '/' || out.empty() || out.back() != '/')
            out += c;
    return out;
}

std::map<std::string, std::string> updateValues(const httplib::Request &req)
{
    std::map<std::string, std::string> values;
    for (const char *key : {"station", "location", "genre", "radiourl", "website"})
        if (req.has_param(key))
            values[key] = req.get_param_value(key);
    return values;
}

// "page=N": 1 for anything but a plain number; large numbers are cut to
// the last page by the list page.
std::size_t pageNumber(const std::string &text)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return 1;
    return std::max<std::size_t>(std::stoul(text), 1);
}

}  // namespace

DirectoryServer::DirectoryServer(DirectoryOptions options)
    : options_(std::move(options)),
      hitLog_(options_.hitLogPath),
      tones_(options_.cacheDir, options_.ffmpeg)
{
    if (options_.radioBrowser) {
        RadioBrowserOptions live = *options_.radioBrowser;
        if (live.cacheDir.empty())
            live.cacheDir = options_.cacheDir;
        live.includeBroken = options_.includeBroken;
        source_ = makeRadioBrowserSource(std::move(live));
    } else {
        source_ = makeFileSource(options_.stationsPath, options_.cacheDir, options_.includeBroken);
    }
}

DirectoryServer::~DirectoryServer()
{
    stop();
}

std::size_t DirectoryServer::stationCount()
{
    auto catalog = source_->catalog();
    return catalog ? catalog->stations().size() : 0;
}

bool DirectoryServer::start(std::string *error)
{
    if (!source_->start(error))
        return false;
    server_ = std::make_unique<httplib::Server>();
    server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    auto handler = [this](const httplib::Request &req, httplib::Response &res) { handle(req, res); };
    server_->Get(".*", handler);
    server_->Post(".*", handler);
    if (options_.port == 0) {
        port_ = server_->bind_to_any_port(options_.host);
    } else {
        port_ = server_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
    }
    if (port_ <= 0) {
        *error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
        server_.reset();
        return false;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // The server ignores a stop that comes before it runs: a start quickly
    // followed by a stop would leave its thread listening for ever.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void DirectoryServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stopping_ = true;
    }
    stopCv_.notify_all();
    if (server_)
        server_->stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
    source_->stop();
}

std::string DirectoryServer::selfBase(const httplib::Request &req) const
{
    // Absolute addresses in pages (stream, station web site) use the host
    // the client asked for, so they work under any loopback name. A Host
    // line with anything but host-name characters is not trusted.
    const std::string host = req.get_header_value("Host");
    const bool ok = !host.empty() && host.size() <= 255 && std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    });
    if (!ok)
        return "http://" + options_.host + ":" + std::to_string(port_) + "/";
    // Some clients (the recorders among them) send the host without its
    // port: the addresses they get back must still name this server's port.
    const std::size_t bracket = host.rfind(']');
    const bool hasPort = host.find(':', bracket == std::string::npos ? 0 : bracket) != std::string::npos;
    if (!hasPort && port_ != 80)
        return "http://" + host + ":" + std::to_string(port_) + "/";
    return "http://" + host + "/";
}

void DirectoryServer::handle(const httplib::Request &req, httplib::Response &res)
{
    const auto catalog = source_->catalog();
    const Catalog &all = *catalog;
    const std::string base = selfBase(req);
    const std::string path = lower(collapseSlashes(req.path));
    const bool post = req.method == "POST";
    auto html = [&res](std::string body, int status = 200) {
        res.status = status;
        res.set_content(std::move(body), kHtml);
    };

    // "/<prefix>/<page>.asp": prefix picks the language.
    std::string prefix, leaf;
    if (path.size() > 1) {
        auto slash = path.find('/', 1);
        if (slash != std::string::npos && path.find('/', slash + 1) == std::string::npos) {
            prefix = path.substr(1, slash - 1);
            leaf = path.substr(slash + 1);
        }
    }
    Lang lang = Lang::English;
    const bool isListPrefix = prefix == "ap" || prefix == "apbig5" || prefix == "apgb";
    const bool isSitePrefix = prefix == "english" || prefix == "big5" || prefix == "gb";
    if (isListPrefix || isSitePrefix)
        langFromPrefix(prefix, &lang);

    if (path == "/" || path == "/index.html") {
        html(homePage(all));
    } else if (isListPrefix && (leaf == "location.asp" || leaf == "genre.asp")) {
        ListView view;
        view.kind = leaf == "location.asp" ? ListKind::Location : ListKind::Genre;
        view.selected = req.get_param_value("sel");
        view.pickedId = req.get_param_value("pick");
        if (all.searchable())
            view.query = boundedText(req.get_param_value("q"), kMaxShortTextBytes);
        view.page = pageNumber(req.get_param_value("page"));
        html(listPage(lang, all, view, base));
    } else if (isListPrefix && leaf == "lisradio.asp") {
        const Station *s = all.find(req.get_param_value("radioid"));
        html(stationPage(s, base), s ? 200 : 404);
    } else if (isListPrefix && leaf == "radioupdate.asp") {
        html(post ? stationUpdateDonePage(lang, updateValues(req)) : stationUpdatePage(lang, updateValues(req)));
    } else if (isSitePrefix && leaf == "main1.asp") {
        std::lock_guard<std::mutex> lock(stateMutex_);
        html(myVexaPage(lang, all, favourites_));
    } else if (isSitePrefix && leaf == "addmyfav.asp") {
        const Station *s = all.find(req.get_param_value("radioid"));
        bool added = false;
        if (s) {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (std::find(favourites_.begin(), favourites_.end(), s->id) == favourites_.end()) {
                favourites_.push_back(s->id);
                added = true;
            }
        }
        html(addFavouritePage(lang, s, added), s ? 200 : 404);
    } else if (isSitePrefix && leaf == "contact1.asp") {
        html(contactPage(lang));
    } else if (isSitePrefix && leaf == "indexap.asp") {
        html(indexPage(lang));
    } else if (path == "/ap/memberlogon.asp") {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (post && !req.get_param_value("user").empty())
            memberName_ = req.get_param_value("user").substr(0, 64);
        html(memberLogonPage(memberName_, post && !memberName_.empty()));
    } else if (path == "/cgi-bin/hlog" || path == "/hitlog") {
        const auto q = req.target.find('?');
        const std::string query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
        if (query.empty()) {
            html(hitLogPage(hitLog_.read(), all));
        } else if (auto report = parseHitQuery(query)) {
            report->received = static_cast<std::int64_t>(std::time(nullptr));
            report->peer = req.remote_addr;
            const bool ok = hitLog_.append(*report);
            if (const Station *s = all.find(report->stationId); ok && s)
                source_->played(*s);
            res.status = ok ? 200 : 500;
            res.set_content(ok ? "OK\n" : "ERROR\n", "text/plain");
        } else {
            res.status = 400;
            res.set_content("BAD REPORT\n", "text/plain");
        }
    } else if (prefix == "stream" && leaf.size() > 4 && leaf[leaf.size() - 4] == '.') {
        const Station *s = all.find(leaf.substr(0, leaf.size() - 4));
        const std::string ext = leaf.substr(leaf.size() - 3);
        const Station::Demo demo = s && s->toneHz() > 0 ? s->demo() : Station::Demo::None;
        if (ext == "mp3" && demo == Station::Demo::Mp3) {
            serveStream(*s, res);
        } else if (ext == "asf" && (demo == Station::Demo::Wma || demo == Station::Demo::Asx)) {
            serveAsf(*s, req, res);
        } else if (ext == "asx" && demo == Station::Demo::Asx) {
            // A Windows Media playlist with one entry: the station's stream.
            res.set_header("Cache-Control", "no-cache");
            res.set_content("<ASX version=\"3.0\">\r\n<TITLE>" + htmlEscape(s->name)
                                + "</TITLE>\r\n<ENTRY>\r\n"
                                  "<REF HREF=\""
                                + base + "stream/" + s->id + ".asf\"/>\r\n</ENTRY>\r\n</ASX>\r\n",
                            "video/x-ms-asf");
        } else {
            html(notFoundPage(req.path), 404);
        }
    } else if (path.rfind("/stations/", 0) == 0) {
        std::string id = path.substr(10);
        if (!id.empty() && id.back() == '/')
            id.pop_back();
        const Station *s = all.find(id);
        if (s)
            html(stationHomePage(*s));
        else
            html(notFoundPage(req.path), 404);
    } else {
        html(notFoundPage(req.path), 404);
    }
}

void DirectoryServer::serveStream(const Station &station, httplib::Response &res)
{
    auto bytes = tones_.mp3(station.toneHz());
    if (!bytes) {
        res.status = 503;
        res.set_content("stream not available (ffmpeg failed)\n", "text/plain");
        return;
    }
    struct Listener
    {
        std::shared_ptr<const std::string> data;
        Pacer pacer;
        std::size_t sent = 0;
    };
    const auto burst = static_cast<std::size_t>(options_.streamBurstSeconds * kToneBytesPerSecond);
    auto listener =
        std::make_shared<Listener>(Listener{bytes, Pacer(kToneBytesPerSecond, burst, Pacer::Clock::now()), 0});
    res.set_header("Cache-Control", "no-cache");
    res.set_header("Connection", "close");
    res.set_header("icy-br", "128");
    // No length: the body runs until the listener goes away, like a radio
    // server's, and the connection closes after it.
    res.set_content_provider("audio/mpeg", [this, listener](std::size_t, httplib::DataSink &sink) {
        const std::string &data = *listener->data;
        {
            std::unique_lock<std::mutex> lock(stopMutex_);
            const auto due = listener->pacer.dueTime(listener->sent, kStreamChunk);
            stopCv_.wait_until(lock, due, [this] { return stopping_.load(); });
        }
        if (stopping_ || !sink.is_writable())
            return false;
        const std::size_t pos = listener->sent % data.size();
        const std::size_t n = std::min(kStreamChunk, data.size() - pos);
        if (!sink.write(data.data() + pos, n))
            return false;
        listener->sent += n;
        return true;
    });
}

void DirectoryServer::serveAsf(const Station &station, const httplib::Request &req, httplib::Response &res)
{
    auto loop = tones_.wma(station.toneHz());
    if (!loop) {
        res.status = 503;
        res.set_content("stream not available (ffmpeg failed)\n", "text/plain");
        return;
    }
    // A Windows Media client names itself and sends its requests as Pragma
    // lines ([MS-WMSP] 2.2.1): "xPlayStrm=1" asks for the packets, anything
    // else is the describe request, answered with the header alone.
    bool mmsClient = req.get_header_value("User-Agent").rfind("NSPlayer", 0) == 0;
    bool playRequest = false;
    const auto pragmas = req.headers.equal_range("Pragma");
    for (auto it = pragmas.first; it != pragmas.second; ++it) {
        mmsClient = mmsClient || it->second.find("xClientGUID") != std::string::npos;
        playRequest = playRequest || it->second.find("xPlayStrm=1") != std::string::npos;
    }
    res.set_header("Cache-Control", "no-cache");
    res.set_header("Connection", "close");
    if (mmsClient) {
        res.set_header("Server", "Cougar/9.01.01.3814");
        res.set_header("Pragma", "no-cache, client-id=3320437311, features=\"broadcast\"");
    }
    if (mmsClient && !playRequest) {
        res.set_content(mmsChunk('H', loop->header, 0), "application/vnd.ms.wms-hdr.asfv1");
        return;
    }
    // The stream: the header first (plain clients only), then the packets
    // in a loop at the audio's pace, a 2-second burst first.
    struct Listener
    {
        std::shared_ptr<const AsfLoop> loop;
        Pacer pacer;
        std::size_t sent = 0;  // packets
        bool headerSent;
    };
    const std::size_t packetSize = loop->packetSize;
    const auto burst = static_cast<std::size_t>(options_.streamBurstSeconds * double(loop->bytesPerSecond));
    auto listener = std::make_shared<Listener>(
        Listener{loop, Pacer(loop->bytesPerSecond, burst, Pacer::Clock::now()), 0, mmsClient});
    const char *type = mmsClient ? "application/x-mms-framed" : "audio/x-ms-wma";
    res.set_content_provider(type, [this, listener, packetSize, mmsClient](std::size_t, httplib::DataSink &sink) {
        const AsfLoop &asf = *listener->loop;
        if (!listener->headerSent) {
            listener->headerSent = true;
            return sink.write(asf.header.data(), asf.header.size());
        }
        {
            std::unique_lock<std::mutex> lock(stopMutex_);
            const auto due = listener->pacer.dueTime(listener->sent * packetSize, packetSize);
            stopCv_.wait_until(lock, due, [this] { return stopping_.load(); });
        }
        if (stopping_ || !sink.is_writable())
            return false;
        const std::size_t index = listener->sent % asf.packets.size();
        const std::string out =
            mmsClient ? mmsChunk('D', asf.packets[index], std::uint32_t(listener->sent)) : asf.packets[index];
        if (!sink.write(out.data(), out.size()))
            return false;
        ++listener->sent;
        return true;
    });
}

}  // namespace stationdir
