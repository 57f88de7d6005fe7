#pragma once
// The first worksheet of an XLSX workbook as a table: shared and inline strings, numbers by their
// stored value, a formula's cached value; the zip is read from memory with minizip and each part
// parsed with expat. Any thread; keeps no state.

#include <string_view>

#include "job/table_list.h"

namespace tandrel::job {

// The cells of the first sheet as Windows-1251 text, numbers written out in full (1800.5, 2450,
// never an exponent). A file that is no workbook, or a part too large to be a list, gives a
// table with its Failure set.
TTable ReadXlsx(std::string_view bytes);

}  // namespace tandrel::job
