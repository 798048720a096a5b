// A subscribed list as a server may send it: any bytes at all.
//
// Properties:
// - a list is either taken, with at least one name and no error, or refused with an error and no
//   names;
// - every name taken is lower-cased, valid text and within the community list's caps, and the names
//   come in the order the store keeps them;
// - reading the same bytes again gives the same names.

#include "blacklist/ArtistListFormats.h"
#include "blacklist/ArtistName.h"

static void require(bool holds, const char* property)
{
    if (!holds) {
        qFatal("property does not hold: %s", property);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const ArtistListFormats::Reading reading = ArtistListFormats::read(bytes);
    const SortedKeysView names = reading.list.names.view();
    require(reading.error.isEmpty() != (names.count == 0), "a list is taken with names or refused with an error");
    require(reading.list.count >= names.count && names.count <= CommunityWireFormat::maxListNames,
            "the count covers the names, within the cap");
    for (qsizetype index = 0; index < names.count; ++index) {
        require(index == 0 || names.at(index - 1).compare(names.at(index)) < 0, "the names come in stored order");
        const QString name = QString::fromUtf8(names.at(index));
        require(name == ArtistName::normalized(name) && name.isValidUtf16() &&
                    name.toUcs4().size() <= CommunityWireFormat::maxNameLength,
                "every name is lower-cased, valid and within the length cap");
    }
    require(ArtistListFormats::read(bytes).list.names.bytes() == reading.list.names.bytes(), "reading is repeatable");
    return 0;
}
