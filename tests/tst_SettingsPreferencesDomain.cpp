#include "blacklist/BlacklistManager.h"
#include "platform/SettingsPreferencesDomain.h"

#include <QDataStream>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Keeps every value with its exact type, as a property list does on macOS (an INI file would turn
// booleans and one-element lists into strings).
bool readTyped(QIODevice& device, QSettings::SettingsMap& map)
{
    QDataStream stream(&device);
    stream >> map;
    return stream.status() == QDataStream::Ok;
}

bool writeTyped(QIODevice& device, const QSettings::SettingsMap& map)
{
    QDataStream stream(&device);
    stream << map;
    return stream.status() == QDataStream::Ok;
}

} // namespace

class TestSettingsPreferencesDomain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_format = QSettings::registerFormat(QStringLiteral("typed"), readTyped, writeTyped);
        QVERIFY(m_format != QSettings::InvalidFormat);
        QVERIFY(m_dir.isValid());
    }

    void answersTypedValuesLikeAPropertyList()
    {
        SettingsPreferencesDomain domain(openSettings("types"));
        domain.setValue("strings", QVariantList{"a", "b"});
        domain.setValue("mixed", QVariantList{"a", 1});
        domain.setValue("flag", true);
        domain.setValue("when", QDateTime(QDate(2026, 12, 6), QTime(19, 55, 40, 123), Qt::UTC));
        domain.synchronize();

        SettingsPreferencesDomain reopened(openSettings("types"));
        QCOMPARE(reopened.stringArray("strings"), std::optional<QStringList>({"a", "b"}));
        QVERIFY(!reopened.stringArray("mixed"));
        QVERIFY(reopened.boolean("flag"));
        QCOMPARE(reopened.date("when")->toString(Qt::ISODateWithMs), QStringLiteral("2026-12-06T19:55:40.123Z"));
        reopened.setValue("flag", QVariant());
        QVERIFY(!reopened.value("flag").isValid());
        QVERIFY(reopened.revision("strings") != reopened.revision("strings"));
    }

    void carriesTheStore()
    {
        auto store =
            std::make_shared<BlacklistManager>(std::make_unique<SettingsPreferencesDomain>(openSettings("store")));
        QVERIFY(store->isCommunityEnabled());
        QVERIFY(!store->deviceId().isEmpty());
        store->addLocal(QStringLiteral("Night Owls"));
        QVERIFY(store->contains(QStringLiteral("NIGHT OWLS")));

        // Another writer's change is seen at once: nothing is cached on this backend.
        QSettings other(m_dir.filePath("store"), m_format);
        other.setValue("localBlacklistedArtists", QStringList{"Echo"});
        other.sync();
        QVERIFY(store->contains(QStringLiteral("echo")));
        QVERIFY(!store->contains(QStringLiteral("night owls")));
    }

private:
    std::unique_ptr<QSettings> openSettings(const QString& name)
    {
        return std::make_unique<QSettings>(m_dir.filePath(name), m_format);
    }

    QSettings::Format m_format = QSettings::InvalidFormat;
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSettingsPreferencesDomain)
#include "tst_SettingsPreferencesDomain.moc"
