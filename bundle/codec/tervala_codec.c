/*
 * The standard message codec for bundles: see tervala_codec.h. Numbers are put together and
 * taken apart byte by byte, little-endian, so the code is the same on every host and never
 * loads a multi-byte value from an unaligned address.
 */
#include "bundle/codec/tervala_codec.h"

#include <stdlib.h>
#include <string.h>

/* The largest size the wire can carry: the marker 255 and an unsigned 32-bit number. */
#define TERVALA_MAX_WIRE_SIZE 0xFFFFFFFFu
/* The first allocation of a writer. */
#define TERVALA_FIRST_CAPACITY 64u

/* ---- Writing ---- */

void tervala_writer_init(TervalaWriter* writer) {
  writer->data = NULL;
  writer->size = 0;
  writer->capacity = 0;
  writer->failed = false;
}

void tervala_writer_free(TervalaWriter* writer) {
  free(writer->data);
  tervala_writer_init(writer);
}

static bool Fail(TervalaWriter* w) {
  w->failed = true;
  return false;
}

/* Makes room for `extra` more bytes. */
static bool Reserve(TervalaWriter* w, size_t extra) {
  if (w->failed) return false;
  if (extra > SIZE_MAX - w->size) return Fail(w);
  const size_t needed = w->size + extra;
  if (needed <= w->capacity) return true;
  size_t capacity = w->capacity < TERVALA_FIRST_CAPACITY ? TERVALA_FIRST_CAPACITY : w->capacity;
  while (capacity < needed) {
    if (capacity > SIZE_MAX / 2) {
      capacity = needed;
      break;
    }
    capacity *= 2;
  }
  uint8_t* data = (uint8_t*)realloc(w->data, capacity);
  if (data == NULL) return Fail(w);
  w->data = data;
  w->capacity = capacity;
  return true;
}

/* The Put functions write into room already reserved. */
static void PutByte(TervalaWriter* w, uint8_t byte) { w->data[w->size++] = byte; }

static void PutLittleEndian(TervalaWriter* w, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) w->data[w->size++] = (uint8_t)(value >> (8 * i));
}

/* Zero bytes up to the next multiple of `alignment` (a power of two) from the message
 * start. */
static void PutAlignment(TervalaWriter* w, size_t alignment) {
  while (w->size % alignment != 0) w->data[w->size++] = 0;
}

/* The bytes a size takes on the wire. */
static size_t SizeWidth(size_t size) { return size < 254 ? 1 : size <= 0xFFFF ? 3 : 5; }

static void PutSize(TervalaWriter* w, size_t size) {
  if (size < 254) {
    PutByte(w, (uint8_t)size);
  } else if (size <= 0xFFFF) {
    PutByte(w, 254);
    PutLittleEndian(w, size, 2);
  } else {
    PutByte(w, 255);
    PutLittleEndian(w, size, 4);
  }
}

/* Reserves a tag and a size, with `payload` bytes after them (and up to `alignment` - 1
 * bytes of padding between), and writes the tag and the size. */
static bool BeginSized(TervalaWriter* w, uint8_t tag, size_t size, size_t payload,
                       size_t alignment) {
  if (w->failed) return false;
  if ((uint64_t)size > TERVALA_MAX_WIRE_SIZE) return Fail(w);
  const size_t head = 1 + SizeWidth(size) + (alignment - 1);
  if (payload > SIZE_MAX - head) return Fail(w);
  if (!Reserve(w, head + payload)) return false;
  PutByte(w, tag);
  PutSize(w, size);
  return true;
}

static bool WriteTag(TervalaWriter* w, uint8_t tag) {
  if (!Reserve(w, 1)) return false;
  PutByte(w, tag);
  return true;
}

bool tervala_write_null(TervalaWriter* w) { return WriteTag(w, TERVALA_NULL); }

bool tervala_write_bool(TervalaWriter* w, bool value) {
  return WriteTag(w, value ? TERVALA_TRUE : TERVALA_FALSE);
}

bool tervala_write_int32(TervalaWriter* w, int32_t value) {
  if (!Reserve(w, 5)) return false;
  PutByte(w, TERVALA_INT32);
  PutLittleEndian(w, (uint32_t)value, 4);
  return true;
}

bool tervala_write_int64(TervalaWriter* w, int64_t value) {
  if (!Reserve(w, 9)) return false;
  PutByte(w, TERVALA_INT64);
  PutLittleEndian(w, (uint64_t)value, 8);
  return true;
}

static uint64_t DoubleBits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

static uint32_t FloatBits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

bool tervala_write_double(TervalaWriter* w, double value) {
  if (!Reserve(w, 16)) return false;
  PutByte(w, TERVALA_DOUBLE);
  PutAlignment(w, 8);
  PutLittleEndian(w, DoubleBits(value), 8);
  return true;
}

static bool WriteSized(TervalaWriter* w, uint8_t tag, const void* bytes, size_t count) {
  if (bytes == NULL && count != 0) return Fail(w);
  if (!BeginSized(w, tag, count, count, 1)) return false;
  if (count != 0) memcpy(w->data + w->size, bytes, count);
  w->size += count;
  return true;
}

bool tervala_write_string(TervalaWriter* w, const char* text, size_t length) {
  return WriteSized(w, TERVALA_STRING, text, length);
}

bool tervala_write_cstring(TervalaWriter* w, const char* text) {
  if (text == NULL) return Fail(w);
  return WriteSized(w, TERVALA_STRING, text, strlen(text));
}

bool tervala_write_bytes(TervalaWriter* w, const uint8_t* data, size_t count) {
  return WriteSized(w, TERVALA_BYTES, data, count);
}

/* The head of a typed list of `count` elements of `width` bytes: tag, count and padding up
 * to the elements' alignment, also when the list is empty (readers align whatever the
 * count), with room reserved for the elements. */
static bool BeginTypedList(TervalaWriter* w, uint8_t tag, const void* values, size_t count,
                           size_t width) {
  if (values == NULL && count != 0) return Fail(w);
  if (count > SIZE_MAX / width) return Fail(w);
  if (!BeginSized(w, tag, count, count * width, width)) return false;
  PutAlignment(w, width);
  return true;
}

bool tervala_write_int32_list(TervalaWriter* w, const int32_t* values, size_t count) {
  if (!BeginTypedList(w, TERVALA_INT32_LIST, values, count, 4)) return false;
  for (size_t i = 0; i < count; ++i) PutLittleEndian(w, (uint32_t)values[i], 4);
  return true;
}

bool tervala_write_int64_list(TervalaWriter* w, const int64_t* values, size_t count) {
  if (!BeginTypedList(w, TERVALA_INT64_LIST, values, count, 8)) return false;
  for (size_t i = 0; i < count; ++i) PutLittleEndian(w, (uint64_t)values[i], 8);
  return true;
}

bool tervala_write_double_list(TervalaWriter* w, const double* values, size_t count) {
  if (!BeginTypedList(w, TERVALA_DOUBLE_LIST, values, count, 8)) return false;
  for (size_t i = 0; i < count; ++i) PutLittleEndian(w, DoubleBits(values[i]), 8);
  return true;
}

bool tervala_write_float_list(TervalaWriter* w, const float* values, size_t count) {
  if (!BeginTypedList(w, TERVALA_FLOAT_LIST, values, count, 4)) return false;
  for (size_t i = 0; i < count; ++i) PutLittleEndian(w, FloatBits(values[i]), 4);
  return true;
}

bool tervala_write_list(TervalaWriter* w, size_t count) {
  return BeginSized(w, TERVALA_LIST, count, 0, 1);
}

bool tervala_write_map(TervalaWriter* w, size_t count) {
  return BeginSized(w, TERVALA_MAP, count, 0, 1);
}

bool tervala_write_success(TervalaWriter* w) { return tervala_write_list(w, 1); }

bool tervala_write_error(TervalaWriter* w, const char* code, const char* message) {
  if (code == NULL || message == NULL) return Fail(w);
  return tervala_write_list(w, 3) && tervala_write_cstring(w, code) &&
         tervala_write_cstring(w, message) && tervala_write_null(w);
}

/* ---- Reading ---- */

void tervala_reader_init(TervalaReader* r, const uint8_t* data, size_t size) {
  r->data = data;
  r->size = data == NULL ? 0 : size;
  r->position = 0;
  r->failed = data == NULL && size != 0;
}

static uint64_t GetLittleEndian(const uint8_t* bytes, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= (uint64_t)bytes[i] << (8 * i);
  return value;
}

/* Takes `width` bytes at the cursor `*at` when that many remain. */
static bool Take(const TervalaReader* r, size_t* at, size_t width, const uint8_t** bytes) {
  if (width > r->size - *at) return false;
  *bytes = r->data + *at;
  *at += width;
  return true;
}

static bool TakeNumber(const TervalaReader* r, size_t* at, size_t width, uint64_t* value) {
  const uint8_t* bytes;
  if (!Take(r, at, width, &bytes)) return false;
  *value = GetLittleEndian(bytes, width);
  return true;
}

static bool TakeSize(const TervalaReader* r, size_t* at, size_t* size) {
  uint64_t marker;
  if (!TakeNumber(r, at, 1, &marker)) return false;
  uint64_t value = marker;
  if (marker == 254 && !TakeNumber(r, at, 2, &value)) return false;
  if (marker == 255 && !TakeNumber(r, at, 4, &value)) return false;
  *size = (size_t)value; /* at most 32 bits */
  return true;
}

/* Moves the cursor to the next multiple of `alignment` from the message start, or to the
 * end when the padding runs past it: the next read then fails, except an empty list's,
 * which has nothing to read (native code's codec accepts such a list too). */
static void Align(const TervalaReader* r, size_t* at, size_t alignment) {
  const size_t padding = (alignment - *at % alignment) % alignment;
  *at = padding > r->size - *at ? r->size : *at + padding;
}

static bool ReadFailed(TervalaReader* r) {
  r->failed = true;
  return false;
}

bool tervala_read_value(TervalaReader* r, TervalaValue* value) {
  memset(value, 0, sizeof *value);
  if (r->failed || r->position > r->size) return ReadFailed(r);
  size_t at = r->position;
  uint64_t tag;
  if (!TakeNumber(r, &at, 1, &tag)) return ReadFailed(r);
  size_t width = 0; /* of a typed list's elements */
  switch (tag) {
    case TERVALA_NULL:
      value->type = TERVALA_NULL;
      break;
    case TERVALA_TRUE:
    case TERVALA_FALSE:
      value->type = (TervalaType)tag;
      value->boolean = tag == TERVALA_TRUE;
      break;
    case TERVALA_INT32: {
      uint64_t bits;
      if (!TakeNumber(r, &at, 4, &bits)) return ReadFailed(r);
      value->type = TERVALA_INT32;
      value->integer = (int32_t)(uint32_t)bits;
      break;
    }
    case TERVALA_INT64: {
      uint64_t bits;
      if (!TakeNumber(r, &at, 8, &bits)) return ReadFailed(r);
      value->type = TERVALA_INT64;
      value->integer = (int64_t)bits;
      break;
    }
    case TERVALA_DOUBLE: {
      uint64_t bits;
      Align(r, &at, 8);
      if (!TakeNumber(r, &at, 8, &bits)) return ReadFailed(r);
      value->type = TERVALA_DOUBLE;
      memcpy(&value->number, &bits, sizeof bits);
      break;
    }
    case 5: /* an old tag of strings, still read as one */
    case TERVALA_STRING:
    case TERVALA_BYTES:
      value->type = tag == TERVALA_BYTES ? TERVALA_BYTES : TERVALA_STRING;
      if (!TakeSize(r, &at, &value->count) || !Take(r, &at, value->count, &value->data)) {
        return ReadFailed(r);
      }
      break;
    case TERVALA_INT32_LIST:
    case TERVALA_FLOAT_LIST:
      width = 4;
      break;
    case TERVALA_INT64_LIST:
    case TERVALA_DOUBLE_LIST:
      width = 8;
      break;
    case TERVALA_LIST:
    case TERVALA_MAP:
      value->type = (TervalaType)tag;
      /* Every element takes at least its tag byte, every entry two. */
      if (!TakeSize(r, &at, &value->count) ||
          value->count > (r->size - at) / (tag == TERVALA_MAP ? 2 : 1)) {
        return ReadFailed(r);
      }
      break;
    default:
      return ReadFailed(r);
  }
  if (width != 0) {
    value->type = (TervalaType)tag;
    if (!TakeSize(r, &at, &value->count)) return ReadFailed(r);
    Align(r, &at, width);
    if (value->count > (r->size - at) / width) return ReadFailed(r);
    value->data = r->data + at;
    at += value->count * width;
  }
  r->position = at;
  return true;
}

bool tervala_skip_value(TervalaReader* r) {
  /* The values still to skip in each list or map being walked, innermost last. */
  size_t pending[TERVALA_MAX_DEPTH];
  size_t depth = 0;
  do {
    if (depth > 0) --pending[depth - 1];
    TervalaValue value;
    if (!tervala_read_value(r, &value)) return false;
    if (value.type == TERVALA_LIST || value.type == TERVALA_MAP) {
      if (depth == TERVALA_MAX_DEPTH) return ReadFailed(r);
      /* No overflow: a map's count is at most half the message's size. */
      pending[depth++] = value.type == TERVALA_MAP ? value.count * 2 : value.count;
    }
    while (depth > 0 && pending[depth - 1] == 0) --depth;
  } while (depth > 0);
  return true;
}

/* Reads a value that must be of type `a` or `b`. */
static bool ReadTyped(TervalaReader* r, TervalaValue* value, TervalaType a, TervalaType b) {
  const size_t start = r->position;
  if (!tervala_read_value(r, value)) return false;
  if (value->type == a || value->type == b) return true;
  r->position = start;
  return ReadFailed(r);
}

bool tervala_read_string(TervalaReader* r, const char** text, size_t* length) {
  TervalaValue value;
  if (!ReadTyped(r, &value, TERVALA_STRING, TERVALA_STRING)) return false;
  *text = (const char*)value.data;
  *length = value.count;
  return true;
}

bool tervala_read_int(TervalaReader* r, int64_t* result) {
  TervalaValue value;
  if (!ReadTyped(r, &value, TERVALA_INT32, TERVALA_INT64)) return false;
  *result = value.integer;
  return true;
}

bool tervala_read_bool(TervalaReader* r, bool* result) {
  TervalaValue value;
  if (!ReadTyped(r, &value, TERVALA_TRUE, TERVALA_FALSE)) return false;
  *result = value.boolean;
  return true;
}

bool tervala_read_double(TervalaReader* r, double* result) {
  TervalaValue value;
  if (!ReadTyped(r, &value, TERVALA_DOUBLE, TERVALA_DOUBLE)) return false;
  *result = value.number;
  return true;
}

int32_t tervala_int32_at(const TervalaValue* list, size_t index) {
  return (int32_t)(uint32_t)GetLittleEndian(list->data + index * 4, 4);
}

int64_t tervala_int64_at(const TervalaValue* list, size_t index) {
  return (int64_t)GetLittleEndian(list->data + index * 8, 8);
}

double tervala_double_at(const TervalaValue* list, size_t index) {
  const uint64_t bits = GetLittleEndian(list->data + index * 8, 8);
  double result;
  memcpy(&result, &bits, sizeof result);
  return result;
}

float tervala_float_at(const TervalaValue* list, size_t index) {
  const uint32_t bits = (uint32_t)GetLittleEndian(list->data + index * 4, 4);
  float result;
  memcpy(&result, &bits, sizeof result);
  return result;
}

/* Reads the envelope's head; false when it is not one. */
static bool ReadEnvelope(TervalaReader* r, TervalaReply* reply) {
  TervalaValue head;
  if (!tervala_read_value(r, &head) || head.type != TERVALA_LIST) return false;
  if (head.count == 1) {
    reply->kind = TERVALA_REPLY_SUCCESS;
    return true;
  }
  if (head.count != 3 || !tervala_read_string(r, &reply->code, &reply->code_length) ||
      !tervala_read_string(r, &reply->message, &reply->message_length)) {
    return false;
  }
  reply->kind = TERVALA_REPLY_ERROR;
  return true;
}

TervalaReplyKind tervala_read_reply(TervalaReader* r, const uint8_t* data, size_t size,
                                    TervalaReply* reply) {
  memset(reply, 0, sizeof *reply);
  tervala_reader_init(r, data, size);
  if (size == 0) {
    r->failed = true;
    reply->kind = TERVALA_REPLY_EMPTY;
    return reply->kind;
  }
  /* The whole envelope must decode, so that a caller reading the value or the details
   * never meets a message that ends halfway. */
  TervalaReader whole = *r;
  if (!tervala_skip_value(&whole) || !ReadEnvelope(r, reply)) {
    memset(reply, 0, sizeof *reply);
    r->failed = true;
    reply->kind = TERVALA_REPLY_MALFORMED;
  }
  return reply->kind;
}
