#include "sim/label_picture.h"

namespace tandrel::sim {

void PrepareLabelPictures() {}

// Built without Qt: the labels are saved as ZPL only.
std::string SaveLabelPicture(const std::string&, const std::filesystem::path&) {
    return "";
}

}  // namespace tandrel::sim
