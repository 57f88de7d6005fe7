#include "job/workbook_zip.h"

#include <expat.h>
#include <minizip/unzip.h>

#include <algorithm>
#include <cstring>

#include "base/cp1251.h"
#include "job/parse_stop.h"

namespace tandrel::job {
namespace {

constexpr unsigned kChunk = 1 << 16;

// The workbook's bytes as minizip's file.
struct TMemoryFile {
    std::string_view bytes;
    std::uint64_t pos = 0;
};

voidpf ZCALLBACK OpenMemory(voidpf opaque, const void*, int) {
    return opaque;
}
uLong ZCALLBACK ReadMemory(voidpf, voidpf stream, void* buffer, uLong size) {
    auto* file = static_cast<TMemoryFile*>(stream);
    const std::uint64_t left =
        file->bytes.size() - std::min<std::uint64_t>(file->pos, file->bytes.size());
    const auto n = static_cast<uLong>(std::min<std::uint64_t>(left, size));
    if (n > 0) std::memcpy(buffer, file->bytes.data() + file->pos, n);
    file->pos += n;
    return n;
}
uLong ZCALLBACK WriteMemory(voidpf, voidpf, const void*, uLong) {
    return 0;
}
ZPOS64_T ZCALLBACK TellMemory(voidpf, voidpf stream) {
    return static_cast<TMemoryFile*>(stream)->pos;
}
long ZCALLBACK SeekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* file = static_cast<TMemoryFile*>(stream);
    std::uint64_t base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = file->pos;
    if (origin == ZLIB_FILEFUNC_SEEK_END) base = file->bytes.size();
    if (base + offset > file->bytes.size()) return -1;
    file->pos = base + offset;
    return 0;
}
int ZCALLBACK CloseMemory(voidpf, voidpf) {
    return 0;
}
int ZCALLBACK ErrorMemory(voidpf, voidpf) {
    return 0;
}

struct TParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using TParser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, TParserFree>;

// What the expat callbacks reach: the handlers, and whether a DOCTYPE ended the parse.
struct TParseState {
    TXmlHandlers* Handlers;
    XML_Parser Parser;
    bool Doctype = false;
};

}  // namespace

void TXmlHandlers::Stop() {
    if (stopped_ || parser_ == nullptr) return;
    stopped_ = true;
    XML_StopParser(static_cast<XML_Parser>(parser_), XML_FALSE);
}

std::string_view LocalName(std::string_view name) {
    const auto bar = name.rfind('|');
    return bar == std::string_view::npos ? name : name.substr(bar + 1);
}

std::string_view AttributeOf(const char** attributes, std::string_view name) {
    for (int i = 0; attributes[i] != nullptr; i += 2)
        if (LocalName(attributes[i]) == name) return attributes[i + 1];
    return {};
}

std::string_view FullAttribute(const char** attributes, std::string_view fullName) {
    for (int i = 0; attributes[i] != nullptr; i += 2)
        if (fullName == attributes[i]) return attributes[i + 1];
    return {};
}

struct TWorkbookZip::TImpl {
    TMemoryFile Memory;
    unzFile Zip = nullptr;

    // Opens the part; its declared size above the limit refuses it before a byte is inflated.
    TPartResult Open(const std::string& name) {
        if (Zip == nullptr || unzLocateFile(Zip, name.c_str(), 2) != UNZ_OK)
            return TPartResult::Missing;
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(Zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return TPartResult::Broken;
        if (info.uncompressed_size > kMaxPartBytes) return TPartResult::TooLarge;
        return unzOpenCurrentFile(Zip) == UNZ_OK ? TPartResult::Ok : TPartResult::Broken;
    }

    // Inflates the open part a piece at a time into take (false: stop); at most the limit.
    TPartResult Stream(const std::function<bool(const char*, std::size_t)>& take) {
        std::string buffer(kChunk, '\0');
        std::uint64_t total = 0;
        int n = 0;
        while ((n = unzReadCurrentFile(Zip, buffer.data(), kChunk)) > 0) {
            total += static_cast<std::uint64_t>(n);
            if (total > kMaxPartBytes) {
                unzCloseCurrentFile(Zip);
                return TPartResult::TooLarge;
            }
            // A read nobody waits for any longer ends here, whatever the part's size.
            if (ParseStopped()) {
                unzCloseCurrentFile(Zip);
                return TPartResult::Broken;
            }
            if (!take(buffer.data(), static_cast<std::size_t>(n))) {
                unzCloseCurrentFile(Zip);
                return TPartResult::Stopped;
            }
        }
        // A bad CRC or a broken stream is told at the close.
        const bool closed = unzCloseCurrentFile(Zip) == UNZ_OK;
        return closed && n == 0 ? TPartResult::Ok : TPartResult::Broken;
    }
};

TWorkbookZip::TWorkbookZip(std::string_view bytes) : impl_(std::make_unique<TImpl>()) {
    impl_->Memory = {bytes, 0};
    zlib_filefunc64_def io{OpenMemory, ReadMemory,  WriteMemory, TellMemory,
                           SeekMemory, CloseMemory, ErrorMemory, &impl_->Memory};
    impl_->Zip = unzOpen2_64("workbook", &io);
}

TWorkbookZip::~TWorkbookZip() {
    if (impl_->Zip != nullptr) unzClose(impl_->Zip);
}

bool TWorkbookZip::Opened() const {
    return impl_->Zip != nullptr;
}

TPartResult TWorkbookZip::Read(const std::string& name, std::string& bytes) {
    bytes.clear();
    if (const TPartResult opened = impl_->Open(name); opened != TPartResult::Ok) return opened;
    return impl_->Stream([&bytes](const char* data, std::size_t n) {
        bytes.append(data, n);
        return true;
    });
}

TPartResult TWorkbookZip::Parse(const std::string& name, TXmlHandlers& handlers) {
    if (const TPartResult opened = impl_->Open(name); opened != TPartResult::Ok) return opened;
    TParser parser(XML_ParserCreateNS(nullptr, '|'));
    if (!parser) {
        unzCloseCurrentFile(impl_->Zip);
        return TPartResult::Broken;
    }
    TParseState state{&handlers, parser.get()};
    handlers.parser_ = parser.get();
    handlers.stopped_ = false;
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(
        parser.get(),
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            static_cast<TParseState*>(data)->Handlers->Start(name, attributes);
        },
        [](void* data, const XML_Char* name) {
            static_cast<TParseState*>(data)->Handlers->End(name);
        });
    XML_SetCharacterDataHandler(parser.get(), [](void* data, const XML_Char* text, int length) {
        static_cast<TParseState*>(data)->Handlers->Text(
            std::string_view(text, static_cast<std::size_t>(length)));
    });
    XML_SetStartDoctypeDeclHandler(
        parser.get(), [](void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
            auto* state = static_cast<TParseState*>(data);
            state->Doctype = true;
            XML_StopParser(state->Parser, XML_FALSE);
        });
    bool broken = false;
    TPartResult result = impl_->Stream([&](const char* bytes, std::size_t n) {
        if (XML_Parse(parser.get(), bytes, static_cast<int>(n), XML_FALSE) == XML_STATUS_OK)
            return true;
        broken = !handlers.Stopped() || state.Doctype;
        return false;
    });
    if (result == TPartResult::Ok && XML_Parse(parser.get(), nullptr, 0, XML_TRUE) != XML_STATUS_OK)
        broken = !handlers.Stopped() || state.Doctype;
    handlers.parser_ = nullptr;
    if (state.Doctype) return TPartResult::Doctype;
    if (broken) return TPartResult::Broken;
    if (result == TPartResult::Ok && handlers.Stopped()) return TPartResult::Stopped;
    return result;
}

std::string PartFailure(TPartResult result, const std::string& partName) {
    const std::string part = Utf8ToCp1251(partName);
    switch (result) {
        case TPartResult::Doctype:
            return "книга повреждена: в части "_cp1251 + part + " объявлен DOCTYPE"_cp1251;
        case TPartResult::TooLarge:
            return "книга повреждена: часть "_cp1251 + part + " больше 256 МБ"_cp1251;
        case TPartResult::Missing:
            return "книга повреждена: нет части "_cp1251 + part;
        default:
            return "книга повреждена: часть "_cp1251 + part + " не читается"_cp1251;
    }
}

}  // namespace tandrel::job
