// `korvan history`: the runs recorded in the working folder's history.jsonl, as a table or JSON.
#pragma once

#include <cstddef>
#include <ostream>

#include "frontend/global_options.h"

namespace korvan::cli {

struct HistoryOptions {
  size_t last = 0;  // only the last N runs; 0: all
};

int RunHistory(const frontend::GlobalOptions& options, const HistoryOptions& history,
               std::ostream& out, std::ostream& err);

}  // namespace korvan::cli
