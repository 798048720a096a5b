#pragma once

// The built tunesieve-community run by a test, spoken to in raw HTTP, on SQLite or on a PostgreSQL
// server of the test's own.
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>
#include <zlib.h>

struct HttpReply
{
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;
};

inline QByteArray gunzip(const QByteArray& packed)
{
    QByteArray unpacked(1 << 20, '\0');
    z_stream stream{};
    inflateInit2(&stream, 15 + 16);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = uInt(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(unpacked.data());
    stream.avail_out = uInt(unpacked.size());
    const bool whole = inflate(&stream, Z_FINISH) == Z_STREAM_END;
    unpacked.truncate(whole ? qsizetype(stream.total_out) : 0);
    inflateEnd(&stream);
    return unpacked;
}

// One request on a connection of its own, over TLS when `tls` (the agents check certificates; this does not).
inline HttpReply httpRequest(quint16 port, bool tls, const QByteArray& method, const QByteArray& path,
                             const QByteArray& headers = {}, const QByteArray& body = {})
{
    QSslSocket socket;
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls ? socket.connectToHostEncrypted("127.0.0.1", port) : socket.connectToHost("127.0.0.1", port);
    socket.waitForConnected(10000);
    socket.write(method + ' ' + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + headers +
                 "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000)) {
    }
    const QByteArray raw = socket.readAll();
    const qsizetype headEnd = raw.indexOf("\r\n\r\n");
    HttpReply reply{raw.mid(9, 3).toInt(), {}, raw.mid(headEnd + 4)};
    for (const QByteArray& line : raw.left(headEnd).split('\n').mid(1)) {
        const qsizetype colon = line.indexOf(':');
        reply.headers.insert(line.left(colon).toLower(), line.mid(colon + 1).trimmed());
    }
    return reply;
}

// A PostgreSQL server of the test's own on a temporary folder, reached through its Unix socket only.
// Run as the postgres user when the test runs as root, as PostgreSQL refuses root.
class Postgres
{
public:
    Postgres()
    {
        if (geteuid() == 0) {
            m_asServerUser = {"runuser", "-u", "postgres", "--"};
            QProcess::execute("chown", {"postgres", m_folder.path()});
        }
        m_started =
            run("initdb", {"-D", data(), "-U", "postgres", "--auth=trust", "-E", "UTF8", "--locale=C", "--no-sync"}) &&
            run("pg_ctl", {"-D", data(), "-w", "-l", m_folder.path() + "/log", "-o",
                           "-k " + m_folder.path() + " -c listen_addresses= -F", "start"});
    }
    ~Postgres() { run("pg_ctl", {"-D", data(), "-m", "immediate", "stop"}); }
    bool started() const { return m_started; }
    // Stops it as a crash would (nothing written out first, no checkpoint) and starts it again.
    bool restart()
    {
        return run("pg_ctl", {"-D", data(), "-w", "-m", "immediate", "-l", m_folder.path() + "/log", "restart"});
    }
    QString data() const { return m_folder.path() + "/data"; }

    // A new, empty database on it.
    QString newDatabase()
    {
        const QString name = QStringLiteral("community%1").arg(++m_databases);
        return run("createdb", {"-h", m_folder.path(), "-U", "postgres", name})
                   ? QStringLiteral("postgresql:///%1?host=%2&user=postgres").arg(name, m_folder.path())
                   : QString();
    }

private:
    bool run(const QString& program, const QStringList& arguments)
    {
        const QStringList command = m_asServerUser + QStringList{TUNESIEVE_POSTGRES_BINDIR "/" + program} + arguments;
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(command.first(), command.mid(1));
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    QTemporaryDir m_folder;
    QStringList m_asServerUser;
    int m_databases = 0;
    bool m_started = false;
};

// The engine of this run: SQLite in the data folder, or the test's own PostgreSQL.
inline Postgres* postgres = nullptr;

// Runs every test of `Test` on SQLite, then on a PostgreSQL server of its own; the failures of both.
template <class Test> int runOnBothEngines(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    Test test;
    int failures = QTest::qExec(&test, argc, argv);
    Postgres server;
    if (!server.started()) {
        qCritical("PostgreSQL did not start");
        return failures + 1;
    }
    postgres = &server;
    failures += QTest::qExec(&test, argc, argv);
    postgres = nullptr;
    return failures;
}

// One tunesieve-community serving a temporary data folder on loopback, flags' networks taken from
// X-Forwarded-For; with `sibling`, a second server on the sibling's database, data folder and key.
class Service
{
public:
    explicit Service(const QStringList& options = {}, const Service* sibling = nullptr)
        : m_folder(sibling ? sibling->m_folder : m_data.path()), m_tls(options.contains("--tls-cert"))
    {
        if (sibling) {
            m_database = sibling->m_database;
        } else if (postgres) {
            m_database = {"--database", postgres->newDatabase()};
        }
        m_arguments = QStringList{"serve", "--data", m_folder, "--listen", "127.0.0.1:0", "--trust-forwarded-for"} +
                      m_database + options;
        start();
    }
    ~Service() { stop(); }
    quint16 port() const { return m_port; }
    QString baseUrl() const { return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? "https" : "http").arg(m_port); }

    void start()
    {
        m_process.start(TUNESIEVE_COMMUNITY_BINARY, m_arguments);
        m_process.waitForReadyRead(10000);
        const QByteArray line = m_process.readLine().trimmed();
        QVERIFY2(line.contains("tunesieve-community listening on http") && line.contains("://127.0.0.1:"),
                 line.constData());
        m_port = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
    }

    // Ends it as a service manager does; its exit status.
    int stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(10000);
        }
        m_errors += m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    // What it wrote on standard error until it was stopped: a line per request, and any error.
    const QByteArray& errors() const { return m_errors; }

    HttpReply request(const QByteArray& method, const QByteArray& path, const QByteArray& headers = {},
                      const QByteArray& body = {})
    {
        return httpRequest(m_port, m_tls, method, path, headers, body);
    }

    int flag(const QString& artist, const QString& device, const QByteArray& address)
    {
        const QJsonObject body{{"artist", artist}, {"device_id", device}};
        return request("POST", "/api/flag/", "X-Forwarded-For: 203.0.113.9, " + address + "\r\n",
                       QJsonDocument(body).toJson(QJsonDocument::Compact))
            .status;
    }

    QStringList listed()
    {
        const HttpReply reply = request("GET", "/api/list/");
        return QJsonDocument::fromJson(reply.body)["artists"].toVariant().toStringList();
    }

    // Runs a moderation command against this service's database; its exit status and output.
    QString moderate(const QStringList& arguments)
    {
        QProcess command;
        command.setProcessChannelMode(QProcess::MergedChannels);
        command.start(TUNESIEVE_COMMUNITY_BINARY, arguments + QStringList{"--data", m_folder} + m_database);
        command.waitForFinished(10000);
        return QString::number(command.exitCode()) + ' ' + QString::fromUtf8(command.readAll());
    }

    // Every file the engine keeps.
    QByteArray storedBytes() const
    {
        QByteArray bytes;
        QDirIterator files(postgres ? postgres->data() : m_folder, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile stored(files.next());
            bytes += stored.open(QIODevice::ReadOnly) ? stored.readAll() : QByteArray();
        }
        return bytes;
    }

private:
    QTemporaryDir m_data;
    const QString m_folder;
    const bool m_tls;
    QStringList m_database;
    QStringList m_arguments;
    QProcess m_process;
    QByteArray m_errors;
    quint16 m_port = 0;
};
