#include "labels/code128.h"

#include <array>

namespace tandrel::labels {
namespace {

// Bar and space widths of every symbol value; the stop has a seventh bar.
constexpr std::array<const char*, 107> kPatterns = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312",  "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122",  "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122",  "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123",  "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",  "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311",  "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411",  "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412",  "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",  "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211",  "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113",  "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t DigitRun(std::string_view text, std::size_t from) {
    std::size_t n = 0;
    while (from + n < text.size() && IsDigit(text[from + n])) ++n;
    return n;
}

}  // namespace

TCode128 EncodeCode128(std::string_view text) {
    TCode128 out;
    for (char c : text)
        if (c < 32 || c > 126) return out;
    std::vector<int> v;
    // Subset C packs two digits into a symbol; it pays from four digits on (or when the whole
    // text is two digits). An odd run keeps its first digit in B mid-text, its last at the start.
    const std::size_t first = DigitRun(text, 0);
    bool inC = first >= 4 || (first == 2 && text.size() == 2);
    v.push_back(inC ? kCode128StartC : kCode128StartB);
    std::size_t i = 0;
    while (i < text.size()) {
        if (inC) {
            if (DigitRun(text, i) >= 2) {
                v.push_back((text[i] - '0') * 10 + (text[i + 1] - '0'));
                i += 2;
                continue;
            }
            v.push_back(kCode128CodeB);
            inC = false;
        }
        const std::size_t run = DigitRun(text, i);
        if (run >= 4) {
            if (run % 2 == 1) v.push_back(text[i++] - 32);
            v.push_back(kCode128CodeC);
            inC = true;
            continue;
        }
        v.push_back(text[i++] - 32);
    }
    int sum = v.front();
    for (std::size_t k = 1; k < v.size(); ++k) sum += static_cast<int>(k) * v[k];
    v.push_back(sum % 103);
    v.push_back(kCode128Stop);
    out.Ok = true;
    out.Values = std::move(v);
    return out;
}

std::vector<int> Code128Widths(const std::vector<int>& values) {
    std::vector<int> widths;
    for (int value : values) {
        if (value < 0 || value >= static_cast<int>(kPatterns.size())) continue;
        for (const char* p = kPatterns[static_cast<std::size_t>(value)]; *p; ++p)
            widths.push_back(*p - '0');
    }
    return widths;
}

int Code128Modules(const std::vector<int>& values) {
    int modules = 0;
    for (int w : Code128Widths(values)) modules += w;
    return modules;
}

}  // namespace tandrel::labels
