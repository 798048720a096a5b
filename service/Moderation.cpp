#include "Moderation.h"

#include "ArtistEntry.h"

#include <QDateTime>

#include <iomanip>
#include <ostream>

namespace {

std::string timeText(std::int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(Qt::ISODate).toStdString();
}

void printPending(CommunityStore& store, std::int64_t threshold, std::ostream& out)
{
    out << "devices networks artist\n";
    for (const CommunityStore::NameCounts& counts : store.pendingNames(threshold)) {
        out << std::setw(7) << counts.devices << ' ' << std::setw(8) << counts.networks << ' ' << counts.name << '\n';
    }
}

void printStatus(CommunityStore& store, std::int64_t threshold, std::ostream& out)
{
    using State = CommunityStore::State;
    const CommunityStore::Generation generation = store.generation();
    out << "listed: " << store.listedNames(threshold).size() << " (approved: " << store.countNames(State::approved)
        << ")\npending: " << store.pendingNames(threshold).size() << "\nrejected: " << store.countNames(State::rejected)
        << "\nflags: " << store.countFlags() << "\nlist changed: " << timeText(generation.changedAt)
        << "\nrecent decisions:\n";
    for (const CommunityStore::DecisionRecord& decision : store.recentDecisions(20)) {
        out << timeText(decision.at) << ' ' << decision.decision << ' ' << decision.name << ": " << decision.reason
            << '\n';
    }
}

} // namespace

int moderate(const Options& options, CommunityStore& store, std::int64_t now, std::ostream& out, std::ostream& err)
{
    using Command = Options::Command;
    switch (options.command) {
    case Command::pending:
        printPending(store, options.threshold, out);
        return 0;
    case Command::status:
        printStatus(store, options.threshold, out);
        return 0;
    default:
        break;
    }
    QString refusal;
    const std::optional<ArtistEntry> entry = ArtistEntry::from(options.name, &refusal);
    if (!entry) {
        err << "refused: " << refusal.toStdString() << '\n';
        return 1;
    }
    const CommunityStore::Decision decision = options.command == Command::approve  ? CommunityStore::Decision::approve
                                              : options.command == Command::reject ? CommunityStore::Decision::reject
                                                                                   : CommunityStore::Decision::remove;
    if (!store.decide(decision, entry->key, entry->name, options.reason.toStdString(), now)) {
        err << "not known: " << entry->name << '\n';
        return 1;
    }
    static const char* const done[] = {"", "", "", "approved", "rejected", "removed"};
    out << done[int(options.command)] << ": " << entry->name << '\n';
    return 0;
}
