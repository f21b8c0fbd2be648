#pragma once

#include "LoopThread.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantry::emu {

// One server of the emulated Web API's list.
struct ApiServer
{
    std::uint32_t address = 0; // host order
    std::uint16_t port = 27015;
    int appId = 10;
    std::string gameDir = "cstrike";
    std::string name = "Vantry emulated server";
    std::string map = "de_dust2";
    int players = 0;
    int maxPlayers = 20;
    int bots = 0;
    char os = 'l';
    bool secure = true;
};

struct WebApiOptions
{
    std::string key = "0123456789ABCDEF0123456789ABCDEF"; // the one key it accepts
    bool malformedJson = false;                           // the body is cut in the middle of the list
};

class ProfileTable;

// The table's servers as the list describes them: application number, folder, name, map and
// counts from each profile (at `anyPort` where a profile takes any port).
std::vector<ApiServer> apiServersFrom(const ProfileTable& table, std::uint16_t anyPort);

// A minimal HTTP/1.1 server on 127.0.0.1 answering GET /IGameServersService/GetServerList/v1/
// as the Steam Web API does: a wrong or missing key gets 403, a limit that is not a number 400,
// and the list holds the servers that the filter's \appid\, \gamedir\, \empty\1, \full\1 keys
// let through, at most `limit` (100 when not given). One connection at a time, closed after each
// reply. The loop runs on its own thread between start() and stop().
class WebApiEmu
{
public:
    WebApiEmu(std::vector<ApiServer> servers, WebApiOptions options = {});
    ~WebApiEmu();
    WebApiEmu(const WebApiEmu&) = delete;
    WebApiEmu& operator=(const WebApiEmu&) = delete;

    void start(std::uint16_t port = 0); // throws EmuError
    void stop();

    std::uint16_t port() const { return m_port; }
    std::string baseUrl() const; // "http://127.0.0.1:PORT"

    struct Request
    {
        std::string target;                       // as received
        std::map<std::string, std::string> query; // percent-decoded
        int status = 0;                           // what it answered
    };
    std::vector<Request> requests() const;

    // The status and body for a request target, without sockets.
    std::pair<int, std::string> answer(const std::string& target,
                                       std::map<std::string, std::string>& query) const;

private:
    void run();
    void serve(int fd);

    std::vector<ApiServer> m_servers;
    WebApiOptions m_options;
    std::uint16_t m_port = 0;
    int m_listen = -1;
    LoopThread m_loop;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
};

// "%41b+c" -> "Ab c" in a query value; false on a broken escape.
bool percentDecode(const std::string& in, std::string& out, bool plusIsBlank);

} // namespace vantry::emu
