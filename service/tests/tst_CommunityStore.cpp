// The community store over time, with the times given by the test, on SQLite and on PostgreSQL.
#include "CommunityStore.h"
#include "Database.h"
#include "support/ServiceProcess.h"

namespace {

constexpr std::int64_t hour = 3600;
constexpr std::int64_t day = 24 * hour;

// A store on a new database of this run's engine, and a second connection to look into it.
struct StoreOnEngine
{
    StoreOnEngine()
        : url(postgres ? postgres->newDatabase().toStdString() : std::string()),
          store(openDatabase(folder.path(), url)), lookInto(openDatabase(folder.path(), url))
    {}

    CommunityStore::Outcome flag(const char* device, const char* network, std::int64_t at, const char* name = "bot")
    {
        return store.addFlag({name, name, device, network, at}, {2, 3}, 3).outcome;
    }

    QTemporaryDir folder;
    std::string url;
    CommunityStore store;
    std::unique_ptr<SqlConnection> lookInto;
};

} // namespace

class tst_CommunityStore : public QObject
{
    Q_OBJECT

private slots:
    // Two flags an hour per device, three per network: each limit counts the hour before a flag.
    void limitsCountTheHourBefore()
    {
        using Outcome = CommunityStore::Outcome;
        StoreOnEngine engine;
        const struct
        {
            const char* device;
            const char* network;
            std::int64_t at;
            const char* name;
            Outcome outcome;
        } steps[] = {
            {"d1", "n1", 0, "a", Outcome::counted},
            {"d1", "n1", 10, "b", Outcome::counted},
            {"d1", "n1", 20, "c", Outcome::deviceLimited},
            {"d1", "n1", 30, "a", Outcome::repeated},
            {"d1", "n1", hour + 1, "c", Outcome::counted},
            {"d2", "n1", hour + 2, "a", Outcome::counted},
            {"d3", "n1", hour + 3, "a", Outcome::networkLimited},
            {"d3", "n2", hour + 4, "a", Outcome::counted},
        };
        for (const auto& step : steps) {
            QCOMPARE(int(engine.flag(step.device, step.network, step.at, step.name)), int(step.outcome));
        }
    }

    // After 30 days a flag's network hash goes; the names' counts, and so the list, stay.
    void forgetsNetworksAfterThirtyDays()
    {
        StoreOnEngine engine;
        for (const char* network : {"n1", "n2", "n3"}) {
            QCOMPARE(engine.flag(network, network, 0), CommunityStore::Outcome::counted);
        }
        QCOMPARE(engine.flag("d4", "n1", 30 * day + 1), CommunityStore::Outcome::counted);
        engine.store.forgetNetworksBefore(30 * day);
        const auto kept = engine.lookInto->run("SELECT network_hash FROM flags WHERE network_hash IS NOT NULL");
        QCOMPARE(kept.size(), size_t(1));
        QCOMPARE(sqlText(kept[0][0]), "n1");
        QCOMPARE(engine.store.listedNames(3), std::vector<std::string>{"bot"});
        QCOMPARE(engine.lookInto->run("SELECT devices, networks FROM artists")[0],
                 (SqlRow{std::int64_t(4), std::int64_t(3)}));
    }
};

int main(int argc, char** argv)
{
    return runOnBothEngines<tst_CommunityStore>(argc, argv);
}

#include "tst_CommunityStore.moc"
