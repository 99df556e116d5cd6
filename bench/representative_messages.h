#ifndef TERVALA_BENCH_REPRESENTATIVE_MESSAGES_H_
#define TERVALA_BENCH_REPRESENTATIVE_MESSAGES_H_

// The channel messages the codec benchmarks measure: what the cloud-app plug-in really
// exchanges, and the bulk and structured shapes that an application's own channels carry.

#include <string>
#include <vector>

#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_message_codec.h"

namespace tervala::bench {

// How a message relates to the yardsticks: bulk messages (byte and typed lists) are held
// against memcpy of their bytes, structured ones against msgpack-c.
enum class MessageKind { kBulk, kStructured };

// One message, with the codec it travels with.
struct RepresentativeMessage {
  std::string name;
  MessageKind kind;
  vela::EncodableValue value;
  const vela::StandardMessageCodec* codec;
  // Whether the message holds custom values. msgpack-c carries those as their list form,
  // so a message with them cannot be rebuilt from msgpack-c's objects as it was.
  bool has_custom_values;
};

// Every message, in the order the results are reported:
// - PluginRequest: an initializeApp request, [app name, the app's options] in the plug-in
//   codec.
// - PluginReply: its success reply, [the initialised app's description].
// - ByteList1MiB: a byte list of 1 MiB.
// - Int64List100k, DoubleList100k: typed lists of 100 000 elements.
// - StringIntMap10k: a map of 10 000 string keys to integers.
// - ListOfMaps10k: a list of 10 000 maps of four entries each (a table of records).
// - DeepNesting: maps and lists nested 30 levels deep (msgpack-c's C unpacker stops at 32).
std::vector<RepresentativeMessage> RepresentativeMessages();

}  // namespace tervala::bench

#endif  // TERVALA_BENCH_REPRESENTATIVE_MESSAGES_H_
