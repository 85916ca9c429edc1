#pragma once
// A Radicale CalDAV server on a free loopback port, started and stopped by the test (only its own
// process), with no authentication or with one htpasswd user, over HTTP or (UseTls before Start)
// HTTPS with a certificate the caller made.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestFiles.h"

class TRadicaleServer {
 public:
  // Radicale is Debian's, for the distribution's Python; another python3 may come first on the path.
  static constexpr const char* Python = "/usr/bin/python3";

  static bool Installed() { return std::system("/usr/bin/python3 -c 'import radicale' 2>/dev/null") == 0; }

  // AUser empty: anybody may do anything. Else only AUser with APassword.
  explicit TRadicaleServer(std::string AUser = {}, std::string APassword = {}, bool AStart = true)
      : FUser(std::move(AUser)), FPassword(std::move(APassword)), FPort(FreePort()) {
    if (!FUser.empty()) WriteText(FFolder / "users", FUser + ":" + FPassword + "\n");
    if (AStart) Start();
  }
  ~TRadicaleServer() { Stop(); }
  TRadicaleServer(const TRadicaleServer&) = delete;
  TRadicaleServer& operator=(const TRadicaleServer&) = delete;

  std::string Base() const { return (FCertificate.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") + std::to_string(FPort); }
  // PEM files of the server's certificate and key.
  void UseTls(std::string ACertificate, std::string AKey) {
    FCertificate = std::move(ACertificate);
    FKey = std::move(AKey);
  }
  std::string Folder() const { return FFolder / "collections"; }
  bool Running() const { return FPid > 0; }

  // Starts it (again, on the same port and storage) and waits until it accepts connections.
  void Start() {
    std::vector<std::string> args{Python, "-m", "radicale", "--config", "", "--storage-filesystem-folder", Folder(),
                                  "--server-hosts", "127.0.0.1:" + std::to_string(FPort)};
    if (!FCertificate.empty())
      args.insert(args.end(), {"--server-ssl", "True", "--server-certificate", FCertificate, "--server-key", FKey});
    if (FUser.empty()) {
      args.insert(args.end(), {"--auth-type", "none"});
    } else {
      args.insert(args.end(), {"--auth-type", "htpasswd", "--auth-htpasswd-filename", FFolder / "users",
                               "--auth-htpasswd-encryption", "plain"});
    }
    FPid = fork();
    if (FPid == 0) {
      freopen((FFolder / "log").c_str(), "a", stdout);
      freopen((FFolder / "log").c_str(), "a", stderr);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(Python, argv.data());
      _exit(127);
    }
    // A loaded machine takes seconds to start Python.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!Accepts() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  void Stop() {
    if (FPid <= 0) return;
    kill(FPid, SIGTERM);
    int status = 0;
    waitpid(FPid, &status, 0);
    FPid = 0;
  }

  std::string Log() const { return ReadText(FFolder / "log"); }

 private:
  static int FreePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    close(probe);
    return ntohs(address.sin_port);
  }

  bool Accepts() const {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(FPort));
    const bool connected = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(probe);
    return connected;
  }

  TTempFolder FFolder;
  std::string FUser, FPassword;
  std::string FCertificate, FKey;
  int FPort;
  pid_t FPid = 0;
};
