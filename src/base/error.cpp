#include "base/error.h"

namespace tandrel {

EConvertError EConvertError::NotAnInteger(const std::string& text) {
    return EConvertError("'" + text + "' is not a valid integer value");
}

}  // namespace tandrel
