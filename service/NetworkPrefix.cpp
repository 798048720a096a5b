#include "NetworkPrefix.h"

#include <boost/asio/ip/address.hpp>

std::optional<std::string> networkPrefix(const std::string& address)
{
    boost::system::error_code error;
    boost::asio::ip::address parsed = boost::asio::ip::make_address(address, error);
    if (error) {
        return std::nullopt;
    }
    if (parsed.is_v6() && parsed.to_v6().is_v4_mapped()) {
        parsed = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, parsed.to_v6());
    }
    if (parsed.is_v4()) {
        auto bytes = parsed.to_v4().to_bytes();
        bytes[3] = 0;
        return boost::asio::ip::address_v4(bytes).to_string() + "/24";
    }
    auto bytes = parsed.to_v6().to_bytes();
    std::fill(bytes.begin() + 6, bytes.end(), 0);
    return boost::asio::ip::address_v6(bytes).to_string() + "/48";
}
