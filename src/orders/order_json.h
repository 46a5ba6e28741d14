// The orders' JSON, shared by the document and the order book's file (within this layer).
// Nothing here throws: documents are parsed without exceptions, every value's type is
// checked before it is used, and text that is not UTF-8 is replaced when written.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "orders/order.h"

namespace vorda::orderjson {

using Json = nlohmann::json;             // read
using Written = nlohmann::ordered_json;  // written: the fields in the order they are put

// Indented by two spaces, ending with a line break.
std::string text(const Written& json);

// The document's fields of an order: "id", "od", "ceny", "opis" (when not empty).
Written documentFields(const Order& order);
// Reads them from one item of "zlecenia" (`index` from 0, naming the order until its id is
// known) into a Waiting order; `now` stands for a missing "od". False with the reason.
bool readDocumentFields(const Json& item, size_t index, int64_t now, Order* order,
                        std::string* why);

// The rows marked in `which` as {"1": {"wysłano", "vorda", "miga"}, ...}.
Written rowsJson(const OrderRow rows[], const bool which[]);
// Reads them back into `rows`; false with the reason (without the order's name).
bool readRows(const Json& value, OrderRow rows[], std::string* why);

// "Zlecenie \"<id>\": " (or "Zlecenie nr <index + 1>: " without an id), the prefix of every
// reason that concerns one order.
std::string orderName(const std::string& id, size_t index);
// A time field ("od", "koniec"); false with the reason when it is there and not a time.
bool readTime(const Json& value, const char* field, int64_t* utc, int* offsetMinutes,
              std::string* why);

}  // namespace vorda::orderjson
