#pragma once

#include "Constants.h"

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QVariant>
#include <chrono>

// Where and how the community client reaches the service. The defaults are the product's own
// (the build's API_BASE_URL, a 60 s timeout, a 10 min deadline, Qt's default TLS trust); tests point
// it at a local server signed by their own CA. Nothing here is read from the environment; only the
// user's store adds the CAs that SSL_CERT_FILE names (BlacklistManager::shared()).
struct CommunitySettings
{
    // Scheme and host, no trailing slash; the endpoint is appended as it is.
    QString baseUrl = QString::fromUtf8(API_BASE_URL);
    // How long an exchange may go without any data arriving before it fails.
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    // Certificate authorities to trust in addition to the default configuration's list; empty in
    // the product, a local test CA in tests.
    QList<QSslCertificate> extraCaCertificates;
    // How long a whole exchange may take, however steadily data arrives: a server that trickles a byte
    // now and then is not waited on for ever. Room for the largest reply on a slow line.
    std::chrono::milliseconds deadline = std::chrono::minutes(10);

    // Takes `preferred`, the user's communityServiceURL, as the service's address when it is the text
    // of an https:// URL with a host and without user, query or fragment (a trailing slash is dropped).
    // False, and the address unchanged, for anything else.
    bool useServiceUrl(const QVariant& preferred);
};
