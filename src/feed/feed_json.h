#pragma once
// The feed's messages: compact one-line JSON objects in UTF-8, and the topic names they go to.
// Plain functions, any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "job/journal.h"

namespace tandrel::feed {

// A flat JSON object written field by field, in the order of the calls.
class TJsonObject {
  public:
    TJsonObject& Text(std::string_view name, std::string_view utf8);
    TJsonObject& Text(std::string_view name, const std::optional<std::string>& utf8);
    TJsonObject& Number(std::string_view name, std::optional<double> value);  // null: none
    TJsonObject& Integer(std::string_view name, std::optional<std::int64_t> value);
    TJsonObject& Bool(std::string_view name, std::optional<bool> value);
    std::string Done() const { return text_ + "}"; }

  private:
    void Name(std::string_view name);
    std::string text_ = "{";
};

// Why a station's name (Windows-1251) cannot be one: it holds a control character (C0, DEL,
// C1: byte 0x98), "+" or "#" (wildcards), "/" (a topic level) or ":". Empty when it can.
std::string StationNameFault(std::string_view stationCp1251);
// The name with each of those characters replaced by "_".
std::string CleanStationName(std::string_view stationCp1251);

// "2026-12-09T23:45:39+03:00": offsetSeconds is the local time's distance from UTC.
std::string IsoTime(const job::TLocalTime& at, std::int32_t offsetSeconds);

// The piece message of one journal record line (without its line end): nothing for the header
// and for lines that are not journal lines. id: "<station>/<file name>/<moment>/<k>".
std::optional<std::string> PieceJson(std::string_view line, std::string_view id);

}  // namespace tandrel::feed
