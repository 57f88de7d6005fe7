#pragma once
// Saves labels as numbered files, each written whole or not at all.
#include <filesystem>
#include <string>

namespace tandrel::sim {

class LabelStore {
  public:
    // Creates the folder if needed; numbering continues after the highest label file there, so
    // a second run never overwrites the first. Raises std::filesystem::filesystem_error.
    explicit LabelStore(std::filesystem::path dir);
    // dir/label-NNNN.zpl; raises std::system_error when it cannot be written.
    std::filesystem::path Save(const std::string& label);
    int Saved() const { return saved_; }

  private:
    std::filesystem::path dir_;
    int next_ = 1;
    int saved_ = 0;
};

}  // namespace tandrel::sim
