#pragma once
// What a station's broker set-up is worth before it is applied: the certificate files as read,
// and one connection tried with them ("Проверить" in the broker's dialog). Any thread.

#include <chrono>
#include <filesystem>
#include <string>

#include "feed/feed.h"

namespace tandrel::feed {

// Why the CA file (a PEM certificate) or the station's file (a PEM certificate and its key,
// the key not encrypted) cannot serve (Windows-1251); empty when they can or are not set.
std::string TlsFilesFault(const std::filesystem::path& caFile,
                          const std::filesystem::path& certFile);

// Connects once with config and says how it went (Windows-1251): "подключено", or why not:
// the log-in refused, the broker's certificate not trusted or made out to another name, no
// answer. Blocks for up to limit (a name lookup that hangs may hold its own thread longer,
// never the caller).
std::string CheckBroker(const TFeedConfig& config, std::chrono::milliseconds limit);

}  // namespace tandrel::feed
