#include "link/protocol.h"

#include <gtest/gtest.h>

#include <optional>

#include "base/error.h"

namespace tandrel::protocol {
namespace {

TEST(ParseSize, Table) {
    const struct {
        const char* text;
        std::optional<double> value;  // nullopt: the conversion error
        const char* digits;           // the text the error names
    } rows[] = {
        {"1234", 1234.0, ""},
        {"1234.5", 1234.5, ""},
        {"1234,5", 1234.5, ""},
        {"1234*5", 1234.5, ""},
        {"12 5", 12.5, ""},
        {"1234.", 1234.0, ""},
        {"12.5.7", 12.5, ""},
        {"12.5mm", 12.5, ""},
        {"0.05", 0.05, ""},
        {"1.12345678901234", 1.12345678901, ""},
        {"1.99999999999999", 1.99999999999, ""},  // cut, not rounded
        {"2500.5", 2500.5, ""},
        {"0250", 250.0, ""},
        {"2147483647", 2147483647.0, ""},
        {"12x", 12.0, ""},
        {"", std::nullopt, ""},
        {".5", std::nullopt, ""},
        {"-5", std::nullopt, ""},
        {" 12", std::nullopt, ""},
        {"3000000000", std::nullopt, "3000000000"},
        {"M", std::nullopt, ""},
    };
    for (const auto& r : rows) {
        if (r.value) {
            EXPECT_EQ(ParseSize(r.text), *r.value) << r.text;
            continue;
        }
        try {
            ParseSize(r.text);
            ADD_FAILURE() << "no error for '" << r.text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("'") + r.digits + "' is not a valid integer value");
        }
    }
}

TEST(Protocol, PrecisionReply) {
    EXPECT_EQ(ParsePrecision("1"), 1);
    EXPECT_EQ(ParsePrecision("0"), 0);
    EXPECT_THROW(ParsePrecision("1.5"), EConvertError);
    EXPECT_THROW(ParsePrecision(""), EConvertError);
}

TEST(Protocol, MoveStrings) {
    EXPECT_EQ(TypedMove("1234.5"), "****1234*5#");
    EXPECT_EQ(TypedMove("3050"), "****3050#");
    EXPECT_EQ(TypedMove("0250"), "****0250#");
    EXPECT_EQ(TypedMove("12."), "****12*#");
    EXPECT_EQ(AutoMove(1234.5, ','), "****1234*5#");
    EXPECT_EQ(AutoMove(1234.5, '.'), "****1234*5#");
    EXPECT_EQ(AutoMove(1500, ','), "****1500#");
    EXPECT_EQ(AutoMove(1234.5, ';'), "****1234*5#");  // a separator the user set
}

TEST(Protocol, ReplyKinds) {
    std::string kinds;
    for (int c = 0; c < 256; ++c)
        if (IsReplyKind(static_cast<char>(c))) kinds += static_cast<char>(c);
    EXPECT_EQ(kinds, "BDMNSTV");
}

}  // namespace
}  // namespace tandrel::protocol
