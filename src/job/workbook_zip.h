#pragma once
// The zip of a workbook (XLSX or OpenDocument) read from memory with minizip, and its XML parts
// streamed through expat: a part is inflated a piece at a time and parsed as it comes, so a
// reader that has what it needs stops both. Any thread; one object per reading.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tandrel::job {

// A part larger than this is no cut list: refused rather than inflated (a zip bomb).
inline constexpr std::uint64_t kMaxPartBytes = 256ull << 20;

// What became of a part.
enum class TPartResult { Ok, Missing, TooLarge, Broken, Doctype, Stopped };

// Handlers of one part's XML. Element and attribute names come as "namespace|local" (or just
// "local" outside any namespace); Stop() from a handler ends the parse.
class TXmlHandlers {
  public:
    virtual ~TXmlHandlers() = default;
    virtual void Start(std::string_view name, const char** attributes) = 0;
    virtual void End(std::string_view /*name*/) {}
    virtual void Text(std::string_view /*text*/) {}

    void Stop();
    bool Stopped() const { return stopped_; }

  private:
    friend class TWorkbookZip;
    void* parser_ = nullptr;
    bool stopped_ = false;
};

// A name without its namespace ("uri|row" -> "row").
std::string_view LocalName(std::string_view name);
// The value of the attribute whose local name is name; empty when there is none.
std::string_view AttributeOf(const char** attributes, std::string_view name);
// The value of the attribute with exactly this full name ("uri|local").
std::string_view FullAttribute(const char** attributes, std::string_view fullName);

class TWorkbookZip {
  public:
    explicit TWorkbookZip(std::string_view bytes);
    ~TWorkbookZip();
    TWorkbookZip(const TWorkbookZip&) = delete;
    TWorkbookZip& operator=(const TWorkbookZip&) = delete;

    bool Opened() const;
    // The named part whole (letter case ignored).
    TPartResult Read(const std::string& name, std::string& bytes);
    // The named part through handlers, a piece at a time. A DOCTYPE anywhere ends it: a workbook
    // declares none, and its entities could expand without end where expat lacks DTD support.
    TPartResult Parse(const std::string& name, TXmlHandlers& handlers);

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// The reason of a part that could not be read, for the refusal: "книга повреждена: …".
std::string PartFailure(TPartResult result, const std::string& part);

}  // namespace tandrel::job
