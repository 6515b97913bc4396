#include "remote_control.h"

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QUrl>
#include <QUrlQuery>
#include <array>

namespace tremlo::remote {

std::string newToken() {
    std::array<quint32, 4> bits{};
    QRandomGenerator::system()->fillRange(bits.data(), bits.size());
    const QByteArray bytes(reinterpret_cast<const char*>(bits.data()), sizeof bits);
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)
        .toStdString();
}

RemoteSettings withUsableToken(RemoteSettings settings) {
    if (settings.Lan && settings.Token.size() < kMinTokenLength)
        settings.Token = newToken();
    return settings;
}

QString pageAddress(const RemoteSettings& settings) {
    QString host = QStringLiteral("127.0.0.1");
    if (settings.Lan) {
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback() &&
                !address.isLinkLocal()) {
                host = address.toString();
                break;
            }
        }
    }
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    url.setPort(settings.WebPort);
    url.setPath(QStringLiteral("/"));
    if (settings.Lan && !settings.Token.empty()) {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("token"), QString::fromStdString(settings.Token));
        url.setQuery(query);
    }
    return url.toString();
}

RemoteControl::RemoteControl(RemoteSwitch& remoteSwitch, MprisWindowActions windowActions,
                             const Clock& clock)
    : m_switch(remoteSwitch), m_osc(remoteSwitch, m_policy, clock),
      m_web(remoteSwitch, m_policy, clock), m_mpris(remoteSwitch, std::move(windowActions)) {}

RemoteControl::~RemoteControl() {
    m_switch.forgetListeners();
}

std::vector<std::string> RemoteControl::apply(const RemoteSettings& settings) {
    // Restarting closes every connection, so an unchanged choice keeps them;
    // one that could not start is tried again.
    if (m_applied == settings && m_problems.empty())
        return {};
    m_applied = settings;
    // Without a usable token nothing from afar is let in, LAN or not.
    m_policy.setToken(settings.Token.size() >= kMinTokenLength ? settings.Token : std::string());
    std::vector<std::string> problems;
    const auto start = [&](auto& server, bool on, std::int32_t port, const char* what) {
        server.close();
        if (!on)
            return;
        if (port < 1 || port > 65535) {
            problems.push_back(
                QCoreApplication::translate("RemoteControl", "%1: ポート %2 は使えません")
                    .arg(QString::fromLatin1(what))
                    .arg(port)
                    .toStdString());
            return;
        }
        if (const auto failure = server.listen(static_cast<quint16>(port), settings.Lan))
            problems.push_back(
                QCoreApplication::translate("RemoteControl", "%1: ポート %2 を開けません（%3）")
                    .arg(QString::fromLatin1(what))
                    .arg(port)
                    .arg(QString::fromStdString(*failure))
                    .toStdString());
    };
    start(m_osc, settings.Osc, settings.OscPort, "OSC");
    start(m_web, settings.Web, settings.WebPort, "Web");
    m_problems = problems;
    return problems;
}

} // namespace tremlo::remote
