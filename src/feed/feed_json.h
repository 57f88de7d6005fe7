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

// The station's name (Windows-1251) as a topic level: UTF-8, with "/", "+", "#" and control
// characters replaced by "_", so that it never splits a topic or acts as a wildcard.
std::string StationTopic(std::string_view stationCp1251);

// "2026-12-09T23:45:39+03:00": offsetSeconds is the local time's distance from UTC.
std::string IsoTime(const job::TLocalTime& at, std::int32_t offsetSeconds);

// The piece message of one journal record line (without its line end): nothing for the header
// and for lines that are not journal lines. id is "<station>/<file name>/<line number>".
std::optional<std::string> PieceJson(std::string_view line, std::string_view station,
                                     std::string_view fileName, std::int64_t lineNumber);

}  // namespace tandrel::feed
