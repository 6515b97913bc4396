#include "web_server.h"

#include "osc_server.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QWebSocket>
#include <memory>
#include <utility>

// The page is in this static library's resources, which the linker would
// leave out unless something named them.
static void initRemoteResources() {
    Q_INIT_RESOURCE(remote);
}

namespace tremlo::remote {
namespace {

// A client has this long to send its request head; the WebSocket server
// gives its handshake the same. A phone sends its head at once, so idle
// heads held open to fill the waiting room are let go quickly.
constexpr int kHeadTimeoutMs = 2'500;
// A socket that has this much still unsent is not reading: it is closed
// rather than let the program's memory grow. Pongs to a client's pings are
// queued by Qt without asking, so the sockets are looked at often.
constexpr qint64 kMaxUnsentBytes = 64 * 1024;
constexpr int kSweepMs = 100;
// Open pages are pinged; one that has said nothing, not even a pong, for
// kSilentMs is gone.
constexpr std::int64_t kPingMs = 30'000;
constexpr std::int64_t kSilentMs = 75'000;
// Marks a socket still sending its head, to count the waiting room.
constexpr const char* kWaiting = "tremoloWaiting";
// When a page's socket was last heard from, on the server's clock.
constexpr const char* kHeardAt = "tremoloHeardAt";

QByteArray reasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 429:
        return "Too Many Requests";
    case 503:
        return "Service Unavailable";
    default:
        return "Bad Request";
    }
}

struct RequestHead {
    QByteArray method;
    QUrl target;
    QByteArray host;
    std::optional<QByteArray> origin;
    bool upgrade = false;
};

std::optional<RequestHead> parseHead(const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> request = lines.front().trimmed().split(' ');
    if (request.size() != 3 || !request[2].startsWith("HTTP/1."))
        return std::nullopt;
    RequestHead parsed;
    parsed.method = request[0];
    parsed.target = QUrl(QString::fromLatin1(request[1]), QUrl::StrictMode);
    if (!parsed.target.isValid() || !parsed.target.isRelative())
        return std::nullopt;
    // The handshake reads the first of a header and the rules would judge
    // the last, so a header that matters may come once only; a folded line
    // could hide one.
    int hosts = 0;
    int upgrades = 0;
    int keys = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].startsWith(' ') || lines[i].startsWith('\t'))
            return std::nullopt;
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "host") {
            parsed.host = value;
            ++hosts;
        } else if (name == "origin") {
            if (parsed.origin)
                return std::nullopt;
            parsed.origin = value;
        } else if (name == "upgrade") {
            parsed.upgrade = value.toLower() == "websocket";
            ++upgrades;
        } else if (name == "sec-websocket-key") {
            ++keys;
        }
    }
    if (hosts > 1 || upgrades > 1 || keys > 1)
        return std::nullopt;
    return parsed;
}

QByteArray page() {
    QFile file(QStringLiteral(":/remote/phone_page.html"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

std::optional<RemoteCommand> webCommand(const QByteArray& message) {
    using Kind = RemoteCommand::Kind;
    using Button = RemoteCommand::Button;
    const QJsonDocument document = QJsonDocument::fromJson(message);
    if (!document.isObject() || document.object().size() != 1)
        return std::nullopt;
    const QJsonObject object = document.object();
    const QString key = object.begin().key();
    const QJsonValue value = object.begin().value();
    if (key == QLatin1String("step")) {
        const int step = value.toInt(0);
        if (step != 1 && step != -1)
            return std::nullopt;
        return RemoteCommand{Kind::Step, Button::On, step};
    }
    if (key != QLatin1String("press") && key != QLatin1String("release"))
        return std::nullopt;
    const QString button = value.toString();
    if (button != QLatin1String("on") && button != QLatin1String("off"))
        return std::nullopt;
    return RemoteCommand{key == QLatin1String("press") ? Kind::Press : Kind::Release,
                         button == QLatin1String("on") ? Button::On : Button::Off};
}

QByteArray stateJson(const RemoteState& state) {
    const QJsonObject object{
        {QStringLiteral("melody"), state.melody},
        {QStringLiteral("door"), state.door},
        {QStringLiteral("switch"), QString::fromLatin1(switchText(state.switchShown))},
        {QStringLiteral("title"), QString::fromStdString(state.title)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

WebServer::WebServer(RemoteSwitch& remoteSwitch, AccessPolicy& policy, Clock clock)
    : m_switch(remoteSwitch), m_policy(policy), m_clock(std::move(clock)),
      m_sockets(QStringLiteral("tremolo"), QWebSocketServer::NonSecureMode) {
    initRemoteResources();
    m_sockets.setHandshakeTimeout(kHeadTimeoutMs);
    m_sockets.setMaxPendingConnections(kMaxConnections);
    connect(&m_server, &QTcpServer::newConnection, this, &WebServer::accept);
    connect(&m_sockets, &QWebSocketServer::newConnection, this, &WebServer::takeSocket);
    m_switch.onChange([this](const RemoteState& state) { sendState(state); });
    m_sweep.setInterval(kSweepMs);
    connect(&m_sweep, &QTimer::timeout, this, &WebServer::sweep);
}

WebServer::~WebServer() {
    close();
}

std::optional<std::string> WebServer::listen(quint16 port, bool lan) {
    close();
    const QHostAddress address =
        lan ? QHostAddress(QHostAddress::Any) : QHostAddress(QHostAddress::LocalHost);
    if (!m_server.listen(address, port))
        return m_server.errorString().toStdString();
    return std::nullopt;
}

// Every connection the old rules let in goes, the pages' sockets too: a
// renewed token or a page turned off locks out every device at once.
void WebServer::close() {
    m_server.close();
    m_sweep.stop();
    for (QWebSocket* socket : m_sockets.findChildren<QWebSocket*>())
        socket->abort();
    for (QWebSocket* socket : findChildren<QWebSocket*>(Qt::FindDirectChildrenOnly))
        socket->abort();
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>())
        socket->abort();
    // A handshake still under way was let in by the old rules too.
    for (const QPointer<QTcpSocket>& socket : std::exchange(m_handedOver, {}))
        if (socket)
            socket->abort();
}

int WebServer::openSockets() const {
    return static_cast<int>(findChildren<QWebSocket*>(Qt::FindDirectChildrenOnly).size());
}

int WebServer::waiting(const QHostAddress* from) const {
    int count = 0;
    for (const QTcpSocket* socket : m_server.findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly))
        if (socket->property(kWaiting).toBool() &&
            (from == nullptr || socket->peerAddress() == *from))
            ++count;
    return count;
}

void WebServer::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        // Sockets stay children of the server until the WebSocket server
        // takes them, so closing the server closes them too.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Also the time an answer has to be taken: one never read is dropped.
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
        deadline->start(kHeadTimeoutMs);
        // The waiting room is shared, so one address may take only a few of
        // its seats; the pages' sockets have seats of their own.
        const QHostAddress peer = socket->peerAddress();
        if (waiting() >= kMaxUnfinishedHeads || waiting(&peer) >= kMaxUnfinishedHeadsPerAddress) {
            answer(socket, 503, "text/plain", "busy\n");
            continue;
        }
        socket->setProperty(kWaiting, true);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readHead(socket); });
        readHead(socket);
    }
}

void WebServer::readHead(QTcpSocket* socket) {
    const QByteArray seen = socket->peek(static_cast<qint64>(kMaxRequestBytes) + 1);
    const qsizetype end = seen.indexOf("\r\n\r\n");
    HttpRequestFacts facts;
    facts.peer = socket->peerAddress().toString().toStdString();
    facts.peerLoopback = isLoopbackAddress(socket->peerAddress());
    if (end < 0) {
        if (static_cast<std::size_t>(seen.size()) > kMaxRequestBytes) {
            facts.bytes = static_cast<std::size_t>(seen.size());
            answer(socket, static_cast<int>(m_policy.judgeHttp(facts, m_clock())), "text/plain",
                   "refused\n");
        }
        return;
    }
    const auto head = parseHead(seen.left(end));
    if (!head) {
        answer(socket, 400, "text/plain", "bad request\n");
        return;
    }
    facts.bytes = static_cast<std::size_t>(end) + 4;
    facts.host = head->host.toStdString();
    if (head->origin)
        facts.origin = head->origin->toStdString();
    const QUrlQuery query(head->target);
    if (query.hasQueryItem(QStringLiteral("token")))
        facts.token =
            query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toStdString();
    const Verdict verdict = m_policy.judgeHttp(facts, m_clock());
    if (verdict != Verdict::Allow) {
        answer(socket, static_cast<int>(verdict), "text/plain", "refused\n");
        return;
    }
    const QString path = head->target.path();
    if (head->method != "GET") {
        answer(socket, 405, "text/plain", "GET only\n");
    } else if (path == QLatin1String("/ws") && head->upgrade) {
        socket->disconnect(this);
        socket->setProperty(kWaiting, false);
        for (QTimer* deadline : socket->findChildren<QTimer*>())
            deadline->deleteLater();
        socket->setParent(nullptr);
        std::erase_if(m_handedOver, [](const QPointer<QTcpSocket>& held) { return !held; });
        m_handedOver.emplace_back(socket);
        m_sockets.handleConnection(socket);
    } else if (path == QLatin1String("/")) {
        socket->readAll();
        answer(socket, 200, "text/html; charset=utf-8", page());
    } else {
        answer(socket, 404, "text/plain", "not found\n");
    }
}

void WebServer::answer(QTcpSocket* socket, int status, const QByteArray& type,
                       const QByteArray& body) {
    socket->disconnect(this);
    socket->setProperty(kWaiting, false);
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonOf(status) +
                          "\r\nContent-Type: " + type +
                          "\r\nContent-Length: " + QByteArray::number(body.size()) +
                          "\r\nCache-Control: no-store"
                          "\r\nX-Content-Type-Options: nosniff"
                          "\r\nX-Frame-Options: DENY"
                          "\r\nReferrer-Policy: no-referrer"
                          "\r\nContent-Security-Policy: default-src 'none'; "
                          "script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                          "connect-src 'self'; frame-ancestors 'none'"
                          "\r\nConnection: close\r\n\r\n" +
                          body;
    socket->write(response);
    socket->disconnectFromHost();
}

void WebServer::takeSocket() {
    while (QWebSocket* socket = m_sockets.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
        // A handshake that finished after the rules changed was let in by
        // the old ones.
        if (!m_server.isListening() || openSockets() > kMaxConnections) {
            socket->abort();
            continue;
        }
        socket->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
        socket->setMaxAllowedIncomingFrameSize(kMaxMessageBytes);
        const ClientId client = m_switch.newClient();
        connect(socket, &QWebSocket::disconnected, this,
                [this, client] { m_switch.letGo(client); });
        auto rate = std::make_shared<RateLimit>(kMaxMessagesPerSecond);
        socket->setProperty(kHeardAt, QVariant::fromValue(m_clock()));
        connect(socket, &QWebSocket::pong, this,
                [this, socket] { socket->setProperty(kHeardAt, QVariant::fromValue(m_clock())); });
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket, rate, client](const QString& text) {
                    socket->setProperty(kHeardAt, QVariant::fromValue(m_clock()));
                    const auto command = webCommand(text.toUtf8());
                    // The release of a held press always gets through, or a
                    // burst of touches would leave the switch held.
                    const bool heldRelease = command &&
                                             command->kind == RemoteCommand::Kind::Release &&
                                             m_switch.holds(client, command->button);
                    if (!heldRelease && !rate->take(m_clock()))
                        return;
                    if (command)
                        m_switch.command(*command, client);
                });
        socket->sendTextMessage(QString::fromUtf8(stateJson(m_switch.state())));
        m_sweep.start();
    }
}

void WebServer::sweep() {
    const std::int64_t now = m_clock();
    const bool ping = now - m_lastPingMs >= kPingMs;
    if (ping)
        m_lastPingMs = now;
    const auto sockets = findChildren<QWebSocket*>(Qt::FindDirectChildrenOnly);
    for (QWebSocket* socket : sockets) {
        if (socket->state() != QAbstractSocket::ConnectedState)
            continue;
        if (socket->bytesToWrite() > kMaxUnsentBytes ||
            now - socket->property(kHeardAt).toLongLong() >= kSilentMs)
            socket->abort();
        else if (ping)
            socket->ping();
    }
    if (sockets.isEmpty())
        m_sweep.stop();
}

void WebServer::sendState(const RemoteState& state) {
    const QString message = QString::fromUtf8(stateJson(state));
    for (QWebSocket* socket : findChildren<QWebSocket*>(Qt::FindDirectChildrenOnly)) {
        if (socket->bytesToWrite() > kMaxUnsentBytes)
            socket->abort();
        else
            socket->sendTextMessage(message);
    }
}

} // namespace tremlo::remote
