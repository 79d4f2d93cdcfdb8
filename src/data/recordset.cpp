#include "data/recordset.h"

#include <strings.h>

#include "data/statement_runner.h"

namespace z418kt::data {

void Recordset::open(const std::string& source, const std::string& connection, int cursorType,
                     int lockType, int options) {
  if (open_) throw AutomationError(3705, "Operation is not allowed when the object is open.");
  OpenRequest request{source, connection, cursorLocation_, cursorType, lockType, options};
  RowSet result = threadStatementRunner().run(request);
  releaseFields();
  open_ = result.hasResultSet;
  rows_ = open_ ? std::move(result) : RowSet{};
  position_ = 0;
}

namespace {
// Fields the record sets of this thread let go of, for the next ones to take:
// a read then makes no field per value it reads.
constexpr size_t kSpareFields = 256;
thread_local std::vector<std::shared_ptr<Field>> spareFields;
// The largest empty list of field slots a record set of this thread let go
// of: the next one fills it instead of allocating its own.
thread_local std::vector<std::shared_ptr<Field>> spareSlots;
}  // namespace

void Recordset::releaseFields() {
  for (auto& field : fields_) {
    if (!field) continue;
    if (field.use_count() != 1) {
      field->keep();  // its holders keep the value of its row
    } else if (spareFields.size() < kSpareFields) {
      field->view_ = nullptr;
      spareFields.push_back(std::move(field));
    }
  }
  fields_.clear();
  if (fields_.capacity() > spareSlots.capacity()) fields_.swap(spareSlots);
}

void Recordset::requireOpen() const {
  if (!open_) throw errors::objectClosed();
}

bool Recordset::eof() const {
  requireOpen();
  return !rows_.rows.hasRow(position_);
}

Variant Recordset::fieldsItem(std::string_view name) const { return fieldAt(columnIndex(name)); }

size_t Recordset::columnIndex(std::string_view name) const {
  requireOpen();
  for (size_t c = 0; c < rows_.columns.size(); ++c) {
    const std::string& column = rows_.columns[c];
    if (column.size() == name.size() && strncasecmp(column.c_str(), name.data(), name.size()) == 0)
      return c;
  }
  throw errors::itemNotFound();
}

Variant Recordset::fieldAt(size_t column) const {
  requireOpen();
  if (!rows_.rows.hasRow(position_)) throw errors::noCurrentRecord();
  const Variant& value = rows_.rows[position_].at(column);
  if (fields_.size() != rows_.columns.size()) {
    if (fields_.capacity() < rows_.columns.size()) fields_.swap(spareSlots);
    fields_.assign(rows_.columns.size(), nullptr);
  }
  auto& field = fields_[column];
  if (!field || field.use_count() != 1) {
    if (field) field->keep();  // its holder keeps the value of its own row
    if (spareFields.empty()) {
      field = std::make_shared<Field>(rows_.columns[column], Variant());
    } else {
      field = std::move(spareFields.back());
      spareFields.pop_back();
      field->name_ = rows_.columns[column];
    }
  }
  field->view(value);
  return Variant(std::shared_ptr<Object>(field));
}

void Recordset::moveFirst() {
  requireOpen();
  position_ = 0;
}

void Recordset::moveLast() {
  requireOpen();
  if (rows_.rows.empty()) throw errors::noCurrentRecord();
  position_ = rows_.rows.size() - 1;
}

void Recordset::moveNext() {
  requireOpen();
  if (!rows_.rows.hasRow(position_)) throw errors::noCurrentRecord();
  ++position_;
}

int32_t Recordset::recordCount() const {
  requireOpen();
  return static_cast<int32_t>(rows_.rows.size());
}

void Recordset::close() {
  requireOpen();
  open_ = false;
  releaseFields();
  rows_ = RowSet{};
}

}  // namespace z418kt::data
