// A player's answer to the track query, whatever text it is.
//
// Property: the answer reads as a track exactly when it holds one "|||" (the first found from the
// left; the search goes on after it) with text on both sides, and the track is then those two
// texts, unchanged: artist + "|||" + title gives back the answer.

#include "FuzzInput.h"
#include "player/PlayerScripts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QString answer = input.remainingText();
    const auto track = PlayerScripts::parseTrackResult(answer);

    const QString separator = QStringLiteral("|||");
    const qsizetype first = answer.indexOf(separator);
    const bool oneSeparator = first >= 0 && answer.indexOf(separator, first + separator.size()) < 0;
    const bool expected = oneSeparator && first > 0 && first + separator.size() < answer.size();
    require(track.has_value() == expected, "a track exactly when one separator has text on both sides");
    if (track) {
        require(track->first == answer.left(first), "the artist is the text before the separator");
        require(track->first + separator + track->second == answer, "artist, separator and title are the answer");
    }
    require(!PlayerScripts::parseTrackResult(std::nullopt), "no answer is no track");
    return 0;
}
