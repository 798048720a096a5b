#include "ScriptedPlayer.h"

#include "player/PlayerScripts.h"

class ScriptedPlayer::Engine : public ScriptRunner
{
public:
    explicit Engine(ScriptedPlayer& player) : m_player(player) {}

    std::optional<QString> run(const QString& source) override
    {
        const QString& name = m_player.m_applicationName;
        if (source == PlayerScripts::processCheck(name)) {
            return QStringLiteral("true");
        }
        if (source == PlayerScripts::trackQuery(name)) {
            ++m_player.m_trackQueries;
            return m_player.m_answer.value_or(QString());
        }
        if (source == PlayerScripts::nextTrack(name)) {
            ++m_player.m_skips;
            return QString();
        }
        return QStringLiteral("false");
    }

private:
    ScriptedPlayer& m_player;
};

ScriptedPlayer::ScriptedPlayer(QString applicationName) : m_applicationName(std::move(applicationName)) {}

std::unique_ptr<ScriptRunner> ScriptedPlayer::engine()
{
    return std::make_unique<Engine>(*this);
}

void ScriptedPlayer::play(const QString& artist, const QString& track)
{
    m_answer = artist + QStringLiteral("|||") + track;
}

void ScriptedPlayer::stop()
{
    m_answer.reset();
}
