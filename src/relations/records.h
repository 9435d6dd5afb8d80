#ifndef RELMERGE_RELATIONS_RECORDS_H_
#define RELMERGE_RELATIONS_RECORDS_H_

#include <string_view>
#include <vector>

// Every text below is a view into the script buffer: the buffer must outlive the records.

// One attribute. Two attributes are the same attribute when both texts are equal.
struct fieldStruct {
  std::string_view name;
  std::string_view type;
};

// One relation. A row is kept as its data line; its values are the line's items
// (relations/items.h), so a row may hold fewer or more values than `fields`.
struct mainStruct {
  std::string_view name;
  std::vector<fieldStruct> fields;
  std::vector<std::string_view> rows;
};

#endif  // RELMERGE_RELATIONS_RECORDS_H_
