/*
 * The standard message codec for application bundles written in C: writes and reads the
 * values that travel on the host's channels, byte for byte as native code's codec
 * (embedding_client/standard_codec_serializer.h) does, and the reply envelope of plug-in
 * channels: a success reply is the list [value], an error reply the list
 * [code, message, details]; no bytes at all is the empty reply (no handler, or no answer).
 *
 * The writer appends to a buffer it grows itself; the reader works in place over the
 * caller's bytes and never reads past their end. Both fail sticky: after the first failed
 * call every later one fails too, so a sequence of calls needs one check at its end.
 * No function keeps global state; a writer or reader belongs to one thread at a time.
 *
 * Sending a request (here ["camera"]) and reading its reply:
 *
 *   static void OnReply(const uint8_t* data, size_t size, void* user_data) {
 *     TervalaReader r; TervalaReply reply; const char* status; size_t length;
 *     if (tervala_read_reply(&r, data, size, &reply) == TERVALA_REPLY_SUCCESS &&
 *         tervala_read_string(&r, &status, &length)) printf("%.*s\n", (int)length, status);
 *   }
 *   TervalaWriter w;
 *   tervala_writer_init(&w);
 *   if (tervala_write_list(&w, 1) && tervala_write_cstring(&w, "camera"))
 *     host->send_message(host, channel, w.data, w.size, OnReply, NULL);
 *   tervala_writer_free(&w);
 */
#ifndef TERVALA_BUNDLE_CODEC_TERVALA_CODEC_H_
#define TERVALA_BUNDLE_CODEC_TERVALA_CODEC_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The deepest nesting of lists and maps that tervala_skip_value (and so tervala_read_reply)
 * accepts; native code's codec has the same bound. */
#define TERVALA_MAX_DEPTH 256

/* A message being written: `data` holds `size` bytes (null while empty) in a buffer of
 * `capacity` bytes owned by the writer. `failed` is set by the first write that fails. */
typedef struct TervalaWriter {
  uint8_t* data;
  size_t size;
  size_t capacity;
  bool failed;
} TervalaWriter;

/* Makes an empty writer; no allocation yet. */
void tervala_writer_init(TervalaWriter* writer);
/* Frees the buffer; the writer is empty (and not failed) again. */
void tervala_writer_free(TervalaWriter* writer);

/* Each write appends one value; false (and writer->failed set, every later write false too)
 * when memory runs out or an argument is invalid (null data with a non-zero count, a null
 * text, a count the wire cannot hold: above 4294967295). A failed writer's bytes are not a
 * message; free it. */
bool tervala_write_null(TervalaWriter* w);
bool tervala_write_bool(TervalaWriter* w, bool value);
bool tervala_write_int32(TervalaWriter* w, int32_t value);
bool tervala_write_int64(TervalaWriter* w, int64_t value);
bool tervala_write_double(TervalaWriter* w, double value);
bool tervala_write_string(TervalaWriter* w, const char* text, size_t length); /* UTF-8 bytes */
bool tervala_write_cstring(TervalaWriter* w, const char* text);               /* NUL-terminated */
bool tervala_write_bytes(TervalaWriter* w, const uint8_t* data, size_t count);
bool tervala_write_int32_list(TervalaWriter* w, const int32_t* values, size_t count);
bool tervala_write_int64_list(TervalaWriter* w, const int64_t* values, size_t count);
bool tervala_write_double_list(TervalaWriter* w, const double* values, size_t count);
bool tervala_write_float_list(TervalaWriter* w, const float* values, size_t count);
bool tervala_write_list(TervalaWriter* w, size_t count); /* then write `count` values */
bool tervala_write_map(TervalaWriter* w, size_t count);  /* then `count` key, value pairs */
/* The reply envelope: [value] (write the value next) and [code, message, null]. */
bool tervala_write_success(TervalaWriter* w);
bool tervala_write_error(TervalaWriter* w, const char* code, const char* message);

/* The type of a value, by its tag on the wire. */
typedef enum TervalaType {
  TERVALA_NULL = 0,
  TERVALA_TRUE = 1,
  TERVALA_FALSE = 2,
  TERVALA_INT32 = 3,
  TERVALA_INT64 = 4,
  TERVALA_DOUBLE = 6,
  TERVALA_STRING = 7,
  TERVALA_BYTES = 8,
  TERVALA_INT32_LIST = 9,
  TERVALA_INT64_LIST = 10,
  TERVALA_DOUBLE_LIST = 11,
  TERVALA_LIST = 12,
  TERVALA_MAP = 13,
  TERVALA_FLOAT_LIST = 14
} TervalaType;

/* Reads a message in place: `size` bytes at `data`, the next value at `position`.
 * `failed` is set by the first read that fails. */
typedef struct TervalaReader {
  const uint8_t* data;
  size_t size;
  size_t position;
  bool failed;
} TervalaReader;

/* Sets up a reader over `size` bytes at `data` (null data with a non-zero size makes a
 * failed reader). */
void tervala_reader_init(TervalaReader* r, const uint8_t* data, size_t size);

/* One value's head. For scalars the value itself; for strings, byte lists and typed lists
 * `data` points at the bytes in the message (typed-list elements are little-endian and may be
 * unaligned in memory: read them with the _at functions) and `count` is the length in bytes
 * (strings, byte lists) or elements; for lists and maps only `count`: their elements follow
 * and are read next (a map: key then value, count times). */
typedef struct TervalaValue {
  TervalaType type;
  bool boolean;        /* TRUE, FALSE */
  int64_t integer;     /* INT32, INT64 */
  double number;       /* DOUBLE */
  const uint8_t* data; /* STRING, BYTES, typed lists */
  size_t count;
} TervalaValue;

/* Reads the next value's head. False, with reader->failed set and every later read false,
 * when the bytes end early, a size runs past the end (a list's count is checked against one
 * byte per element, a map's against two per entry), or the tag is unknown (tag 5 reads as a
 * string, as native code's codec does); never reads past data + size. A failed read leaves
 * `position` at the start of the value. */
bool tervala_read_value(TervalaReader* r, TervalaValue* value);
/* Skips one whole value, nested lists and maps included. Nesting deeper than
 * TERVALA_MAX_DEPTH fails; the walk does not recurse, so no input can exhaust the stack. */
bool tervala_skip_value(TervalaReader* r);
/* Reads a value that must be a string / an int (int32 or int64) / a bool / a double; false
 * (with reader->failed set) for any other type. A string's text is not NUL-terminated. */
bool tervala_read_string(TervalaReader* r, const char** text, size_t* length);
bool tervala_read_int(TervalaReader* r, int64_t* value);
bool tervala_read_bool(TervalaReader* r, bool* value);
bool tervala_read_double(TervalaReader* r, double* value);
/* Element `index` (below list->count) of a typed list of the matching type. */
int32_t tervala_int32_at(const TervalaValue* list, size_t index);
int64_t tervala_int64_at(const TervalaValue* list, size_t index);
double tervala_double_at(const TervalaValue* list, size_t index);
float tervala_float_at(const TervalaValue* list, size_t index);

/* The reply envelope. */
typedef enum TervalaReplyKind {
  TERVALA_REPLY_EMPTY,    /* no bytes */
  TERVALA_REPLY_SUCCESS,  /* [value]: the reader stands at the value */
  TERVALA_REPLY_ERROR,    /* [code, message, details]: code and message set; the reader
                             stands at the details */
  TERVALA_REPLY_MALFORMED /* anything else, or bytes that do not decode */
} TervalaReplyKind;

/* A reply's envelope, taken apart. */
typedef struct TervalaReply {
  TervalaReplyKind kind;
  const char* code;
  size_t code_length; /* ERROR; not NUL-terminated */
  const char* message;
  size_t message_length; /* ERROR; not NUL-terminated */
} TervalaReply;

/* Sets up `r` over the reply bytes and reads the envelope's head into `reply`; returns its
 * kind. The whole envelope is checked first: SUCCESS and ERROR mean that the value (or the
 * details) decodes. Bytes after the envelope are ignored, as native code's codec ignores
 * them. For EMPTY and MALFORMED the reader is left failed. */
TervalaReplyKind tervala_read_reply(TervalaReader* r, const uint8_t* data, size_t size,
                                    TervalaReply* reply);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TERVALA_BUNDLE_CODEC_TERVALA_CODEC_H_ */
