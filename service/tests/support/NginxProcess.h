#pragma once

// The repository's nginx site in front of a tunesieve-community, run by a test on a temporary folder:
// on loopback ports of its own, with the test's certificate. Each port stands for one network: there
// nginx passes 10.0.N.1 (N the port's number in line, from 1) as the client's address, where the real
// site passes the address the client came from.
#include "ServiceProcess.h"
#include "support/HttpsTestServer.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class Nginx
{
public:
    Nginx(quint16 servicePort, int networks)
    {
        QFile siteFile(TUNESIEVE_SOURCE_DIR "/service/deploy/tunesieve-community.nginx");
        QVERIFY(siteFile.open(QIODevice::ReadOnly));
        QString site = QString::fromUtf8(siteFile.readAll()), listens, addresses, folder = m_folder.path();
        for (int network = 1; network <= networks; ++network) {
            QTcpServer probe; // a port free a moment ago
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            m_ports.append(probe.serverPort());
            listens += QStringLiteral("listen 127.0.0.1:%1 ssl;\n").arg(probe.serverPort());
            addresses += QStringLiteral("%1 10.0.%2.1;\n").arg(probe.serverPort()).arg(network);
        }
        for (const auto& [from, to] :
             {std::pair<QString, QString>{"listen 443 ssl;\n    listen [::]:443 ssl;\n", listens},
              {"/var/cache/nginx", folder},
              {"127.0.0.1:8080", "127.0.0.1:" + QString::number(servicePort)},
              {"$proxy_add_x_forwarded_for", "$test_network"},
              {"/etc/letsencrypt/live/community.example.org/fullchain", kTlsFolder + "server"},
              {"/etc/letsencrypt/live/community.example.org/privkey.pem", kTlsFolder + "server.key"}}) {
            QVERIFY2(site.contains(from), qPrintable(from));
            site.replace(from, to);
        }
        QFile configuration(folder + "/nginx.conf");
        QVERIFY(configuration.open(QIODevice::WriteOnly));
        configuration.write(QStringLiteral("%1 daemon off; pid %2/nginx.pid; events {}\nhttp { access_log off;\n"
                                           "client_body_temp_path %2/b; proxy_temp_path %2/p; fastcgi_temp_path %2/f;"
                                           " uwsgi_temp_path %2/u; scgi_temp_path %2/s;\n"
                                           "map $server_port $test_network {\n%3}\n%4}\n")
                                .arg(geteuid() == 0 ? "user root;" : "", folder, addresses, site)
                                .toUtf8());
        configuration.close();
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start("nginx", {"-p", folder, "-c", folder + "/nginx.conf", "-e", folder + "/error.log"});
        // Ready once its last port takes a TLS connection.
        QTRY_VERIFY(!httpRequest(m_ports.last(), true, "GET", "/healthz").headers.isEmpty());
    }
    ~Nginx()
    {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }

    const QList<quint16>& ports() const { return m_ports; }
    QString baseUrl(int network) const { return QStringLiteral("https://127.0.0.1:%1").arg(m_ports.at(network - 1)); }

private:
    QTemporaryDir m_folder;
    QList<quint16> m_ports;
    QProcess m_process;
};
