// A flag exchange: the status and body of the service's reply, whatever they are, and the body of
// the request for any artist text.
//
// Properties:
// - the verdict is true exactly when the status is 200 and the body is a JSON object whose
//   "success" member is the boolean true; with any other status it is false;
// - the request body for a text of valid Unicode is a JSON object of exactly the two members
//   "artist", the text unchanged, and "device_id"; a text that is not valid Unicode (a lone
//   surrogate) gets no body at all.

#include "FuzzInput.h"
#include "JsonShapeFeedback.h"
#include "blacklist/CommunityWireFormat.h"
#include "platform/JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool saysSuccess(const QByteArray& body)
{
    const QJsonDocument document = JsonText::parse(body);
    return document.isObject() && document.object().value(QLatin1String("success")) == QJsonValue(true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    // Mostly 200, the one status that counts; otherwise any status at all.
    const uint8_t choice = input.byte();
    const int status = choice < 128 ? 200 : (choice << 8 | input.byte()) - 0x8000 - 1000;
    const QByteArray body = input.remainingBytes();
    JsonShapeFeedback::noteShapeOf(body);

    const bool verdict = CommunityWireFormat::readFlagVerdict(status, body);
    require(verdict == (status == 200 && saysSuccess(body)), "the verdict is the service's true, with status 200");
    require(!CommunityWireFormat::readFlagVerdict(status + 1, body) || status + 1 == 200,
            "no other status is a success");

    FuzzInput textInput(data, size);
    const QString artist = textInput.remainingText();
    const QString deviceId = QStringLiteral("3F2504E0-4F89-41D3-9A0C-0305E82C3301");
    const auto request = CommunityWireFormat::flagBody(artist, deviceId);
    require(request.has_value() == artist.isValidUtf16(), "a body exactly for valid Unicode");
    if (request) {
        // Read by Qt's own parser, which drops a U+FEFF that starts an unescaped string.
        const QJsonDocument document = QJsonDocument::fromJson(*request);
        const QJsonObject object = document.object();
        require(document.isObject() && object.size() == 2, "the body is an object of two members");
        require(object.value(QLatin1String("artist")).toString() == artist, "the artist goes out unchanged");
        require(object.value(QLatin1String("device_id")).toString() == deviceId, "the device identifier goes out");
    }
    return 0;
}
