#include "WebApiEmu.h"

#include "EmuServer.h"
#include "ProfileTable.h"
#include "Replies.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantry::emu {

namespace {

constexpr std::size_t MaxHeader = 16 * 1024;
constexpr int DefaultLimit = 100;
const std::string ListPath = "/IGameServersService/GetServerList/v1/";

std::string jsonText(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string serverJson(const ApiServer& s)
{
    const std::string addr = dottedAddress(s.address) + ":" + std::to_string(s.port);
    return "{\"addr\":" + jsonText(addr) + ",\"gameport\":" + std::to_string(s.port) +
           ",\"steamid\":\"90000000000000000\",\"name\":" + jsonText(s.name) +
           ",\"appid\":" + std::to_string(s.appId) + ",\"gamedir\":" + jsonText(s.gameDir) +
           ",\"version\":\"1.1.2.7/Stdio\",\"product\":" + jsonText(s.gameDir) +
           ",\"region\":255,\"players\":" + std::to_string(s.players) +
           ",\"max_players\":" + std::to_string(s.maxPlayers) + ",\"bots\":" + std::to_string(s.bots) +
           ",\"map\":" + jsonText(s.map) + ",\"secure\":" + (s.secure ? "true" : "false") +
           ",\"dedicated\":true,\"os\":" + jsonText(std::string(1, s.os)) + ",\"gametype\":\"\"}";
}

// \key\value pairs back to back.
std::map<std::string, std::string> filterKeys(const std::string& filter)
{
    std::map<std::string, std::string> out;
    std::vector<std::string> parts;
    std::size_t start = 0;
    if (!filter.empty() && filter[0] == '\\')
        start = 1;
    for (std::size_t i = start; i <= filter.size(); ++i) {
        if (i == filter.size() || filter[i] == '\\') {
            parts.push_back(filter.substr(start, i - start));
            start = i + 1;
        }
    }
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2)
        out[parts[i]] = parts[i + 1];
    return out;
}

void sendAll(int fd, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return; // the client went away
        }
        sent += static_cast<std::size_t>(n);
    }
}

const char* reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    default:
        return "Error";
    }
}

} // namespace

std::vector<ApiServer> apiServersFrom(const ProfileTable& table, std::uint16_t anyPort)
{
    std::vector<ApiServer> out;
    for (const auto& [address, port] : table.addresses(anyPort)) {
        const std::optional<Profile> p = table.find(address, port);
        if (!p)
            continue;
        ApiServer s;
        s.address = address;
        s.port = port;
        s.gameDir = p->gameDir;
        // The older engine's replies carry no application number: the folder tells it.
        if (p->kind == Kind::Source)
            s.appId = p->appId;
        else
            s.appId = p->gameDir == "czero" ? 80 : p->gameDir == "valve" ? 70 : 10;
        s.name = p->name;
        s.map = p->map;
        s.players = p->players;
        s.maxPlayers = p->maxPlayers;
        s.bots = p->bots;
        s.os = p->os;
        out.push_back(std::move(s));
    }
    return out;
}

bool percentDecode(const std::string& in, std::string& out, bool plusIsBlank)
{
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%') {
            if (i + 2 >= in.size() || !std::isxdigit(static_cast<unsigned char>(in[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(in[i + 2])))
                return false;
            out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (in[i] == '+' && plusIsBlank) {
            out += ' ';
        } else {
            out += in[i];
        }
    }
    return true;
}

WebApiEmu::WebApiEmu(std::vector<ApiServer> servers, WebApiOptions options)
    : m_servers(std::move(servers)), m_options(std::move(options))
{}

WebApiEmu::~WebApiEmu()
{
    stop();
}

std::string WebApiEmu::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<WebApiEmu::Request> WebApiEmu::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::pair<int, std::string> WebApiEmu::answer(const std::string& target,
                                              std::map<std::string, std::string>& query) const
{
    const std::size_t mark = target.find('?');
    const std::string path = target.substr(0, mark);
    if (path != ListPath && path + "/" != ListPath)
        return {404, "<html><body>Not Found</body></html>"};
    if (mark != std::string::npos) {
        const std::string text = target.substr(mark + 1);
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('&', start);
            if (end == std::string::npos)
                end = text.size();
            const std::string pair = text.substr(start, end - start);
            const std::size_t eq = pair.find('=');
            std::string name, value;
            if (!percentDecode(pair.substr(0, eq), name, true) ||
                !percentDecode(eq == std::string::npos ? "" : pair.substr(eq + 1), value, true))
                return {400, "<html><body>Bad Request</body></html>"};
            if (!name.empty())
                query[name] = value;
            start = end + 1;
        }
    }
    if (!query.contains("key") || query["key"] != m_options.key)
        return {403, "<html><head><title>Forbidden</title></head><body><h1>Forbidden</h1>Access is "
                     "denied. Retrying will not help. Please verify your <pre>key=</pre> parameter."
                     "</body></html>"};
    int limit = DefaultLimit;
    if (query.contains("limit")) {
        const std::string& l = query["limit"];
        if (l.empty() || l.size() > 9 || l.find_first_not_of("0123456789") != std::string::npos)
            return {400, "<html><body>Bad Request</body></html>"};
        limit = std::stoi(l);
    }
    const std::map<std::string, std::string> keys =
        filterKeys(query.contains("filter") ? query["filter"] : "");
    std::string list;
    int count = 0;
    for (const ApiServer& s : m_servers) {
        if (count >= limit)
            break;
        if (keys.contains("appid") && keys.at("appid") != std::to_string(s.appId))
            continue;
        if (keys.contains("gamedir") && keys.at("gamedir") != s.gameDir)
            continue;
        if (keys.contains("empty") && keys.at("empty") == "1" && s.players == 0)
            continue;
        if (keys.contains("full") && keys.at("full") == "1" && s.players >= s.maxPlayers)
            continue;
        list += (count ? "," : "") + serverJson(s);
        ++count;
    }
    std::string body = count == 0 ? "{\"response\":{}}" : "{\"response\":{\"servers\":[" + list + "]}}";
    if (m_options.malformedJson)
        body.resize(body.size() / 2);
    return {200, body};
}

void WebApiEmu::start(std::uint16_t port)
{
    if (m_loop.running())
        return;
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        throw EmuError("socket: " + std::string(std::strerror(errno)));
    const int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listen, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listen, 16) != 0) {
        const int err = errno;
        ::close(m_listen);
        m_listen = -1;
        throw EmuError("listen 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(err));
    }
    socklen_t length = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &length);
    m_port = ntohs(addr.sin_port);
    try {
        m_loop.openWake();
    } catch (...) {
        ::close(m_listen);
        m_listen = -1;
        throw;
    }
    m_loop.start([this] { run(); });
}

void WebApiEmu::stop()
{
    if (!m_loop.stop())
        return;
    ::close(m_listen);
    m_listen = -1;
}

void WebApiEmu::run()
{
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_loop.wakeFd(), POLLIN, 0}};
    while (!m_loop.stopping()) {
        if (::poll(fds, 2, 200) < 0 && errno != EINTR)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        serve(fd);
        ::close(fd);
    }
}

// Reads one request's head (a client that sends none within a few seconds is dropped) and
// answers it.
void WebApiEmu::serve(int fd)
{
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (m_loop.stopping() || ::poll(&p, 1, 5000) <= 0)
            return;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        head.append(chunk, static_cast<std::size_t>(n));
        if (head.size() > MaxHeader) {
            sendAll(fd, "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: "
                        "close\r\n\r\n");
            return;
        }
    }
    const std::string line = head.substr(0, head.find("\r\n"));
    const std::size_t first = line.find(' ');
    const std::size_t second = line.find(' ', first + 1);
    Request request;
    std::pair<int, std::string> reply;
    if (first == std::string::npos || second == std::string::npos) {
        reply = {400, ""};
    } else {
        request.target = line.substr(first + 1, second - first - 1);
        if (line.substr(0, first) != "GET")
            reply = {405, ""};
        else
            reply = answer(request.target, request.query);
    }
    request.status = reply.first;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    const bool json = reply.first == 200;
    sendAll(fd, "HTTP/1.1 " + std::to_string(reply.first) + " " + reason(reply.first) +
                    "\r\nContent-Type: " + (json ? "application/json; charset=UTF-8" : "text/html") +
                    "\r\nContent-Length: " + std::to_string(reply.second.size()) +
                    "\r\nConnection: close\r\n\r\n" + reply.second);
}

} // namespace vantry::emu
