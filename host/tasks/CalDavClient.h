#pragma once
// The HTTP side of a task store kept on a CalDAV server (RFC 4791): requests through Qt Network,
// kept alive and pipelined where the server allows it, several in flight at once (Start) or one
// waited for (Send), in a local event loop; and the WebDAV multistatus answers read into plain
// records. The password is sent and never written anywhere.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/tasks/TaskProgram.h"

class QCoreApplication;
class QEventLoop;
class QNetworkAccessManager;

struct THttpReply {
  int Status = 0;  // 0: no answer (Error says why)
  std::string Reason;  // "Precondition Failed"
  std::string Body;
  std::string ETag;
  std::string Error;  // the transport's failure: refused, timed out, TLS
};

// One <response> of a 207 answer.
struct TDavResource {
  std::string Href;  // as the server wrote it: a path, percent-encoded
  int Status = 200;  // of the found properties; 404 for a member a sync report says is gone
  std::string ETag;
  std::string CalendarData;
  bool IsCalendar = false;  // resourcetype holds <C:calendar/>
  bool HoldsTasks = true;  // supported-calendar-component-set names VTODO, or is not given
};

struct TDavMultiStatus {
  std::vector<TDavResource> Resources;
  std::string SyncToken;  // of a sync-collection report
};

// Raises ELumetaError naming the problem for a malformed answer.
TDavMultiStatus ParseMultiStatus(const std::string& AXml);

class TCalDavClient {
 public:
  using THeaders = std::vector<std::pair<std::string, std::string>>;

  // Raises ELumetaError when the address is not one to use: not http(s), or plain HTTP to a host
  // other than loopback without AServer.AllowHttp, or an unreadable CA file.
  TCalDavClient(TCalDavSettings AServer, std::string APassword);
  ~TCalDavClient();
  TCalDavClient(const TCalDavClient&) = delete;
  TCalDavClient& operator=(const TCalDavClient&) = delete;

  const TCalDavSettings& Server() const noexcept { return FServer; }
  // The collection's path ("/nina/tasks/"), always with the closing slash.
  const std::string& CollectionPath() const noexcept { return FPath; }
  // ATarget is a path on the server (an href) or empty for the collection. Never raises: a reply
  // without an answer has Status 0 and Error set.
  THttpReply Send(const std::string& AMethod, const std::string& ATarget, const THeaders& AHeaders = {},
                  const std::string& ABody = {});
  // Sends the request and returns at once; ADone gets the reply from within Wait (or a Send),
  // and may start further requests.
  using TDone = std::function<void(const THttpReply&)>;
  void Start(const std::string& AMethod, const std::string& ATarget, const THeaders& AHeaders, const std::string& ABody,
             TDone ADone);
  size_t InFlight() const noexcept { return FInFlight; }
  // Runs the requests until one more has finished (none in flight: returns at once).
  void WaitForOne();
  // Asked when the server refuses the login of a Send (ARefused: a password was sent), for a
  // password to try instead; empty: the refusal stands.
  std::function<std::optional<std::string>(bool ARefused)> OnLoginRefused;
  // "the CalDAV server URL" plus what went wrong with the reply, for messages.
  std::string Failure(const std::string& AMethod, const std::string& ATarget, const THttpReply& AReply) const;

 private:
  TCalDavSettings FServer;
  std::string FPath;
  void SetPassword(const std::string& APassword);

  std::string FAuthorization;  // the header value; empty without a user
  bool FPasswordSent = false;
  // The command line has no application object until it opens a window; one is made for the
  // requests and removed with the client, before the program may make its own.
  std::unique_ptr<QCoreApplication> FOwnApplication;
  std::unique_ptr<QNetworkAccessManager> FNetwork;
  size_t FInFlight = 0;
  size_t FFinished = 0;  // counts every finished request, for WaitForOne
  QEventLoop* FWaiting = nullptr;  // the wait in progress
};
