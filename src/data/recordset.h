// Recordset: the part of an ADO record set that the component uses.
//
// Open runs the statement through the installed StatementRunner. A statement
// with a result set leaves the record set open on its first row (EOF when it
// has none); one without leaves it closed (State 0). Fields.Item looks names
// up ignoring case and raises 3265 for a missing one; reading a field at EOF
// raises 3021; anything but State on a closed record set raises 3704. The
// record set is released, and thereby closed, when it goes out of scope.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/row_set.h"
#include "z418kt/variant.h"

namespace z418kt::data {

inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;
inline constexpr int adOpenStatic = 3;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adUnspecified = -1;  // adOpenUnspecified, adLockUnspecified, adCmdUnspecified
inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;

// A record-set field: an object whose default value is the column value of
// the row it was taken on, also after the record set moved on or closed.
class Field : public Object {
 public:
  Field(std::string name, Variant value) : name_(std::move(name)), value_(std::move(value)) {}
  Variant defaultValue() const override { return view_ ? *view_ : value_; }
  const std::string& name() const { return name_; }

 private:
  friend class Recordset;
  // A field of a record set reads the value where the record set keeps it,
  // instead of a copy per row; keep() copies it before that storage goes.
  void view(const Variant& value) { view_ = &value; }
  void keep() {
    if (view_) value_ = *view_;
    view_ = nullptr;
  }
  std::string name_;
  Variant value_;
  const Variant* view_ = nullptr;
};

class Recordset {
 public:
  Recordset() = default;
  ~Recordset() { releaseFields(); }
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  void setCursorLocation(int location) { cursorLocation_ = location; }
  int cursorLocation() const { return cursorLocation_; }

  void open(const std::string& source, const std::string& connection, int cursorType, int lockType,
            int options);
  int state() const { return open_ ? adStateOpen : adStateClosed; }
  bool eof() const;
  // Fields.Item(name): the field of the current row, held in a variant.
  Variant fieldsItem(std::string_view name) const;
  // The same in two steps, for loops over many rows: the column of a name
  // (3265 when there is none), then its field on the current row (3021 at EOF).
  size_t columnIndex(std::string_view name) const;
  Variant fieldAt(size_t column) const;
  void moveFirst();
  void moveLast();
  void moveNext();
  int32_t recordCount() const;
  void close();

 private:
  void requireOpen() const;
  void releaseFields();  // fields still held keep their values; the rows may go
  int cursorLocation_ = adUseServer;
  bool open_ = false;
  RowSet rows_;
  size_t position_ = 0;
  // The last field handed out per column, reused once its holders let go of
  // it, so a loop over rows neither allocates a field nor copies a value per
  // value. Only these fields view the rows: one still held when its column is
  // read again keeps its value first.
  mutable std::vector<std::shared_ptr<Field>> fields_;
};

}  // namespace z418kt::data
