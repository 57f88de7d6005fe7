#pragma once
// The sheet of an XLSX workbook as a table: the sheet the workbook opens on when it is visible,
// else the first visible one (hidden sheets are never read); shared and inline strings, numbers
// and dates as Excel shows them, a formula's cached value. Any thread; keeps no state.

#include <string_view>

#include "job/table_list.h"

namespace tandrel::job {

// The sheet's rows to sink, cells in Windows-1251. A file that is no workbook, or a part that
// cannot be read (too large, broken, declaring a DOCTYPE), gives Failure.
TTableRead ReadXlsx(std::string_view bytes, TRowSink& sink);
TTable ReadXlsx(std::string_view bytes);

}  // namespace tandrel::job
