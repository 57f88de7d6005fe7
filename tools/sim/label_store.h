#pragma once
// Saves labels as numbered files, each written whole or not at all, and records in labels.txt
// which encoding each one used ("utf-8" after ^CI28, else "windows-1251").
#include <filesystem>
#include <string>

namespace tandrel::sim {

class LabelStore {
  public:
    // Creates the folder if needed; numbering continues after the highest label file there, so
    // a second run never overwrites the first. Raises std::filesystem::filesystem_error.
    explicit LabelStore(std::filesystem::path dir);
    // dir/label-NNNN.zpl, and its line "label-NNNN.zpl utf-8" in dir/labels.txt; raises
    // std::system_error when the label cannot be written (a record that cannot is skipped).
    std::filesystem::path Save(const std::string& label);
    int Saved() const { return saved_; }
    int SavedUtf8() const { return savedUtf8_; }

  private:
    std::filesystem::path dir_;
    int next_ = 1;
    int saved_ = 0;
    int savedUtf8_ = 0;
};

}  // namespace tandrel::sim
