#include "host/tasks/CalDavClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrl>
#include <QXmlStreamReader>

#include <optional>

#include "com/ComErrors.h"

namespace {

constexpr int KTimeoutMs = 30'000;

bool IsLoopback(const QString& AHost) {
  if (AHost.compare("localhost", Qt::CaseInsensitive) == 0) return true;
  const QHostAddress address(AHost);
  return !address.isNull() && address.isLoopback();
}

// Qt's reply errors in the words a user can act on.
std::string TransportError(QNetworkReply& AReply) {
  switch (AReply.error()) {
    case QNetworkReply::ConnectionRefusedError: return "the connection was refused (is the server running?)";
    case QNetworkReply::HostNotFoundError: return "the host name is not known";
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: return "no answer within 30 seconds";
    case QNetworkReply::RemoteHostClosedError: return "the server closed the connection";
    case QNetworkReply::SslHandshakeFailedError: return "TLS failed: " + AReply.errorString().toStdString();
    default: return AReply.errorString().toStdString();
  }
}

std::string Trimmed(const QString& AText) { return AText.trimmed().toStdString(); }

}  // namespace

TDavMultiStatus ParseMultiStatus(const std::string& AXml) {
  constexpr auto KDav = u"DAV:";
  constexpr auto KCalDav = u"urn:ietf:params:xml:ns:caldav";
  TDavMultiStatus result;
  QXmlStreamReader reader(QByteArray::fromRawData(AXml.data(), static_cast<qsizetype>(AXml.size())));
  TDavResource resource;
  bool inResponse = false;
  bool inComponents = false;
  bool componentsGiven = false, vtodoGiven = false;
  int propstatStatus = 0;
  TDavResource found;  // the properties of the propstat being read
  while (!reader.atEnd()) {
    reader.readNext();
    if (reader.isStartElement()) {
      const auto ns = reader.namespaceUri();
      const auto name = reader.name();
      if (ns == KDav && name == u"response") {
        inResponse = true;
        resource = {};
        componentsGiven = vtodoGiven = false;
      } else if (inResponse && ns == KDav && name == u"href" && resource.Href.empty()) {
        resource.Href = Trimmed(reader.readElementText());
      } else if (inResponse && ns == KDav && name == u"propstat") {
        found = {};
        propstatStatus = 0;
      } else if (inResponse && ns == KDav && name == u"status") {
        // "HTTP/1.1 200 OK": of the propstat, or of the whole response (a removed member).
        const QStringList words = reader.readElementText().split(' ', Qt::SkipEmptyParts);
        const int status = words.size() > 1 ? words[1].toInt() : 0;
        propstatStatus = status;
        resource.Status = status;
      } else if (inResponse && ns == KDav && name == u"getetag") {
        found.ETag = Trimmed(reader.readElementText());
      } else if (inResponse && ns == KCalDav && name == u"calendar-data") {
        found.CalendarData = reader.readElementText().toStdString();
      } else if (inResponse && ns == KCalDav && name == u"calendar") {
        found.IsCalendar = true;
      } else if (inResponse && ns == KCalDav && name == u"supported-calendar-component-set") {
        inComponents = componentsGiven = true;
      } else if (inComponents && ns == KCalDav && name == u"comp") {
        vtodoGiven = vtodoGiven || reader.attributes().value("name").compare(u"VTODO", Qt::CaseInsensitive) == 0;
      } else if (!inResponse && ns == KDav && name == u"sync-token") {
        result.SyncToken = Trimmed(reader.readElementText());
      }
    } else if (reader.isEndElement()) {
      const auto name = reader.name();
      if (name == u"supported-calendar-component-set") {
        inComponents = false;
      } else if (name == u"propstat" && inResponse) {
        // Only what the server found counts; a 404 propstat lists what it does not have.
        if (propstatStatus == 200) {
          if (!found.ETag.empty()) resource.ETag = found.ETag;
          if (!found.CalendarData.empty()) resource.CalendarData = std::move(found.CalendarData);
          resource.IsCalendar = resource.IsCalendar || found.IsCalendar;
          resource.Status = 200;
        }
      } else if (name == u"response" && inResponse) {
        inResponse = false;
        resource.HoldsTasks = !componentsGiven || vtodoGiven;
        result.Resources.push_back(std::move(resource));
        resource = {};
      }
    }
  }
  if (reader.hasError())
    throw ELumetaError("the server's answer is not readable XML: " + reader.errorString().toStdString() + " (line " +
                           std::to_string(reader.lineNumber()) + ")",
                       E_FAIL);
  return result;
}

TCalDavClient::TCalDavClient(TCalDavSettings AServer, std::string APassword) : FServer(std::move(AServer)) {
  const QUrl url(QString::fromStdString(FServer.Url), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https"))
    throw ELumetaError("'" + FServer.Url + "' is not the http:// or https:// address of a calendar", E_INVALIDARG);
  if (scheme == "http" && !IsLoopback(url.host()) && !FServer.AllowHttp)
    throw ELumetaError("'" + FServer.Url +
                           "' is plain HTTP to another machine, which would send the password and the tasks "
                           "readable on the way: use https://, or --allow-http on a network you trust",
                       E_INVALIDARG);
  FPath = url.path(QUrl::FullyEncoded).toStdString();
  if (FPath.empty() || FPath.back() != '/') FPath += '/';
  SetPassword(APassword);
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "lumeta";
    static char* argv[] = {name, nullptr};
    FOwnApplication = std::make_unique<QCoreApplication>(argc, argv);
  }
  FNetwork = std::make_unique<QNetworkAccessManager>();
  if (!FServer.CaFile.empty()) {
    const QList<QSslCertificate> authorities = QSslCertificate::fromPath(QString::fromStdString(FServer.CaFile));
    if (authorities.isEmpty())
      throw ELumetaError("the certificate authority file " + FServer.CaFile + " holds no PEM certificate",
                         E_INVALIDARG);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(authorities);
    QSslConfiguration::setDefaultConfiguration(tls);
  }
}

TCalDavClient::~TCalDavClient() {
  FNetwork.reset();
  FOwnApplication.reset();
}

THttpReply TCalDavClient::Send(const std::string& AMethod, const std::string& ATarget, const THeaders& AHeaders,
                               const std::string& ABody) {
  for (;;) {
    std::optional<THttpReply> result;
    Start(AMethod, ATarget, AHeaders, ABody, [&](const THttpReply& AReply) { result = AReply; });
    while (!result) WaitForOne();
    if (result->Status != 401 || !OnLoginRefused) return std::move(*result);
    const std::optional<std::string> password = OnLoginRefused(FPasswordSent);
    if (!password) return std::move(*result);
    SetPassword(*password);
  }
}

void TCalDavClient::SetPassword(const std::string& APassword) {
  FPasswordSent = !APassword.empty();
  if (FServer.User.empty()) return;
  const QByteArray pair = QByteArray::fromStdString(FServer.User + ":" + APassword);
  FAuthorization = "Basic " + pair.toBase64().toStdString();
}

void TCalDavClient::Start(const std::string& AMethod, const std::string& ATarget, const THeaders& AHeaders,
                          const std::string& ABody, TDone ADone) {
  QUrl url(QString::fromStdString(FServer.Url));
  url.setPath(QString::fromStdString(ATarget.empty() ? FPath : ATarget), QUrl::StrictMode);
  QNetworkRequest request(url);
  request.setTransferTimeout(KTimeoutMs);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  // Qt pipelines only on a connection the server keeps alive; a server that closes each one gets
  // the requests in flight on connections of their own.
  request.setAttribute(QNetworkRequest::HttpPipeliningAllowedAttribute, true);
  if (!FAuthorization.empty()) request.setRawHeader("Authorization", QByteArray::fromStdString(FAuthorization));
  for (const auto& [name, value] : AHeaders)
    request.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
  QNetworkReply* reply =
      FNetwork->sendCustomRequest(request, QByteArray::fromStdString(AMethod), QByteArray::fromStdString(ABody));
  ++FInFlight;
  QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, done = std::move(ADone)] {
    THttpReply result;
    result.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.Reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString();
    result.Body = reply->readAll().toStdString();
    result.ETag = reply->rawHeader("ETag").toStdString();
    if (result.Status == 0) result.Error = TransportError(*reply);
    reply->deleteLater();
    --FInFlight;
    ++FFinished;
    if (FWaiting) FWaiting->quit();
    done(result);
  });
}

void TCalDavClient::WaitForOne() {
  if (FInFlight == 0) return;
  const size_t finished = FFinished;
  QEventLoop loop;
  QEventLoop* outer = FWaiting;
  FWaiting = &loop;
  while (FFinished == finished && FInFlight > 0) loop.exec(QEventLoop::ExcludeUserInputEvents);
  FWaiting = outer;
  // An outer wait learns of what finished inside this one.
  if (outer) outer->quit();
}

std::string TCalDavClient::Failure(const std::string& AMethod, const std::string& ATarget,
                                   const THttpReply& AReply) const {
  const std::string server = "the CalDAV server " + FServer.Url;
  if (AReply.Status == 0) return "cannot reach " + server + ": " + AReply.Error;
  if (AReply.Status == 401)
    return server + " refused the login" + (FServer.User.empty() ? std::string() : " of user '" + FServer.User + "'") +
           " (401): check the user and the password ($" + CalDavPasswordVariable + " or " + CalDavPasswordFile() + ")";
  if (AReply.Status == 403) return server + " does not allow " + AMethod + " of " + ATarget + " (403 Forbidden)";
  return server + " answered " + std::to_string(AReply.Status) + (AReply.Reason.empty() ? "" : " " + AReply.Reason) +
         " to " + AMethod + " " + (ATarget.empty() ? FPath : ATarget);
}
