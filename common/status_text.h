// A library's statuses as a table of texts: each library keeps its own table (their codes
// overlap) and answers with this one lookup.
#ifndef SACCADRIX_STATUS_TEXT_H
#define SACCADRIX_STATUS_TEXT_H

#include <cstddef>

namespace saccadrix {

struct StatusTextRow {
  int status;
  const char* text;
};

// The row's text for status; "unknown status" for a code the table does not hold. Never null.
template <size_t N>
const char* find_status_text(const StatusTextRow (&rows)[N], int status) {
  for (const StatusTextRow& row : rows) {
    if (row.status == status) return row.text;
  }
  return "unknown status";
}

}  // namespace saccadrix

#endif  // SACCADRIX_STATUS_TEXT_H
