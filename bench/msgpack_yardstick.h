#ifndef TERVALA_BENCH_MSGPACK_YARDSTICK_H_
#define TERVALA_BENCH_MSGPACK_YARDSTICK_H_

// msgpack-c carrying the same messages as the standard codec: the yardstick for
// structured messages.

#include <msgpack.h>

#include "embedding_client/encodable_value.h"

namespace tervala::bench {

// Packs `value` with msgpack-c, walking it as the standard codec's serializer does: maps
// and lists as msgpack maps and arrays, byte lists as bin, typed lists as arrays of
// numbers, and the plug-in's custom records as arrays of their list form.
void MsgpackPack(const vela::EncodableValue& value, msgpack_packer* packer);

// Rebuilds the value the standard codec's decoder would produce from a msgpack-c object
// (integers that fit in 32 bits become 32-bit integers, as the peer writes them). Only
// for values without typed lists or custom records, which msgpack-c has no type for.
vela::EncodableValue MsgpackToValue(const msgpack_object& object);

}  // namespace tervala::bench

#endif  // TERVALA_BENCH_MSGPACK_YARDSTICK_H_
