// An element of a block as the model file stores it: a list of fields, then possibly a tail
// whose length a field of the element gives. Sizes and everything else that follows from a
// layout are derived here, at compile time.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>

#include "model/model_format.h"

namespace model_unpack {

// The last value read that a field is read into: two or four bytes, the name-sized transfer
// buffer, or the length word. A read cut short by the end of the file leaves the rest
// of that value as it was, so what lies past the end repeats what was read last.
enum class LastValue : std::uint8_t { TwoByteValue, FourByteValue, Transfer, Length };

enum class Field : std::uint8_t {
  U16,         // a u16 value
  F32,         // an f32 value
  U16Pair,     // two u16 values that travel as one 4-byte unit
  Name64,      // a name field
  Raw64,       // 64 bytes shown as they are
  LengthWord,  // a u32 counting the bytes of the tail; read, never exported
  GroupCount,  // a u16 counting the groups of the tail; 0 when it cannot be read
};

struct FieldTraits {
  std::uint32_t size;
  LastValue last_value;
  int u16_values;  // shown as u16 numbers
  int f32_values;  // shown as f32 numbers
};

constexpr FieldTraits traits(Field field) {
  switch (field) {
    case Field::U16:
      return {2, LastValue::TwoByteValue, 1, 0};
    case Field::F32:
      return {4, LastValue::FourByteValue, 0, 1};
    case Field::U16Pair:
      return {4, LastValue::FourByteValue, 2, 0};
    case Field::Name64:
    case Field::Raw64:
      return {kTransferSize, LastValue::Transfer, 0, 0};
    case Field::LengthWord:
      return {4, LastValue::Length, 0, 0};
    case Field::GroupCount:
      return {2, LastValue::TwoByteValue, 0, 0};
  }
  return {0, LastValue::TwoByteValue, 0, 0};
}

// What follows an element's fields: nothing, as many bytes as its length word says, or as many
// groups of fields as its group count says.
enum class Tail : std::uint8_t { None, CountedBytes, CountedGroups };

struct FieldList {
  static constexpr int kCapacity = 9;
  std::array<Field, kCapacity> fields{};
  int count = 0;

  constexpr FieldList() = default;
  constexpr FieldList(std::initializer_list<Field> list) {
    for (Field field : list) fields[count++] = field;
  }
  constexpr const Field* begin() const { return fields.data(); }
  constexpr const Field* end() const { return fields.data() + count; }

  constexpr std::uint32_t size() const {
    std::uint32_t total = 0;
    for (Field field : *this) total += traits(field).size;
    return total;
  }
  // The last value every field is read into, when they all share one and it copies raw.
  constexpr bool uniform() const {
    for (Field field : *this) {
      if (traits(field).last_value != traits(fields[0]).last_value || field == Field::LengthWord ||
          field == Field::GroupCount)
        return false;
    }
    return count > 0;
  }
};

struct ElementLayout {
  FieldList fields;
  Tail tail = Tail::None;
  FieldList group;  // the fields of one group, for Tail::CountedGroups

  constexpr std::uint32_t fixed_size() const { return fields.size(); }
  constexpr std::uint32_t group_size() const { return group.size(); }
  constexpr int u16_values() const {
    int values = 0;
    for (Field field : fields) values += traits(field).u16_values;
    return values;
  }
  constexpr int f32_values() const {
    int values = 0;
    for (Field field : fields) values += traits(field).f32_values;
    return values;
  }
  // Whether the element's fields all hold numbers of one type and nothing else.
  constexpr bool numbers_only() const {
    int bytes = 2 * u16_values() + 4 * f32_values();
    return tail == Tail::None && (u16_values() == 0 || f32_values() == 0) &&
           bytes == static_cast<int>(fixed_size()) && bytes > 0;
  }
  // The field that counts the tail: it must be there exactly when a tail is.
  constexpr bool tail_is_counted() const {
    int lengths = 0, group_counts = 0;
    for (Field field : fields) {
      lengths += field == Field::LengthWord;
      group_counts += field == Field::GroupCount;
    }
    switch (tail) {
      case Tail::None:
        return lengths == 0 && group_counts == 0 && group.count == 0;
      case Tail::CountedBytes:
        return lengths == 1 && group_counts == 0 &&
               fields.fields[fields.count - 1] == Field::LengthWord;
      case Tail::CountedGroups:
        return lengths == 0 && group_counts == 1 && group.uniform() &&
               fields.fields[fields.count - 1] == Field::GroupCount;
    }
    return false;
  }
};

constexpr ElementLayout layout_of(FieldList fields, Tail tail = Tail::None, FieldList group = {}) {
  ElementLayout layout;
  layout.fields = fields;
  layout.tail = tail;
  layout.group = group;
  return layout;
}

}  // namespace model_unpack
