#include "sim/label_store.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "labels/label_encoding.h"

namespace tandrel::sim {

LabelStore::LabelStore(std::filesystem::path dir) : dir_(std::move(dir)) {
    std::filesystem::create_directories(dir_);
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        std::string name = entry.path().filename().string();
        int number = 0;
        char tail[8] = {};
        if (std::sscanf(name.c_str(), "label-%d.%7s", &number, tail) == 2 &&
            std::string(tail) == "zpl" && number >= next_)
            next_ = number + 1;
    }
}

std::filesystem::path LabelStore::Save(const std::string& label) {
    char name[32];
    std::snprintf(name, sizeof name, "label-%04d.zpl", next_);
    std::filesystem::path path = dir_ / name;
    std::filesystem::path temporary = dir_ / (std::string(".") + name + ".tmp");
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) throw std::system_error(errno, std::generic_category(), temporary.string());
    bool written = std::fwrite(label.data(), 1, label.size(), file) == label.size();
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        int saved = errno;
        std::remove(temporary.c_str());
        throw std::system_error(saved, std::generic_category(), path.string());
    }
    ++next_;
    ++saved_;
    const bool utf8 = labels::SelectsUtf8(label);
    if (utf8) ++savedUtf8_;
    if (std::FILE* record = std::fopen((dir_ / "labels.txt").c_str(), "ab")) {
        std::fprintf(record, "%s %s\n", name, utf8 ? "utf-8" : "windows-1251");
        std::fclose(record);
    }
    return path;
}

}  // namespace tandrel::sim
