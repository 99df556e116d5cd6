#ifndef TERVALA_NIMBUS_CORE_PLUGIN_VELA_ERROR_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_VELA_ERROR_H_

// The result types of the plug-in's host operations: an error reply's content, and a
// holder of either a value or such an error.

#include <string>
#include <utility>
#include <variant>

#include "embedding_client/encodable_value.h"

namespace nimbus_core_windows {

// The content of an error reply: a code, a message and optional details (null when
// there are none).
class VelaError {
 public:
  explicit VelaError(std::string code, std::string message = std::string(),
                     vela::EncodableValue details = vela::EncodableValue())
      : code_(std::move(code)), message_(std::move(message)), details_(std::move(details)) {}

  const std::string& code() const { return code_; }
  const std::string& message() const { return message_; }
  const vela::EncodableValue& details() const { return details_; }

 private:
  std::string code_;
  std::string message_;
  vela::EncodableValue details_;
};

// Either a T or a VelaError, never both. Operations without a value report through an
// std::optional<VelaError> instead (absent means success).
template <typename T>
class ErrorOr {
 public:
  ErrorOr(const T& value) : result_(value) {}                // NOLINT: implicit
  ErrorOr(T&& value) : result_(std::move(value)) {}          // NOLINT: implicit
  ErrorOr(const VelaError& error) : result_(error) {}        // NOLINT: implicit
  ErrorOr(VelaError&& error) : result_(std::move(error)) {}  // NOLINT: implicit

  bool has_error() const { return std::holds_alternative<VelaError>(result_); }
  // The value; throws vela::BadVariantAccess when the holder holds an error.
  const T& value() const { return Get<T>(); }
  T& value() { return const_cast<T&>(Get<T>()); }
  // The error; throws vela::BadVariantAccess when the holder holds a value.
  const VelaError& error() const { return Get<VelaError>(); }

 private:
  template <typename U>
  const U& Get() const {
    if (const U* held = std::get_if<U>(&result_)) return *held;
    throw vela::BadVariantAccess();
  }

  std::variant<T, VelaError> result_;
};

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_VELA_ERROR_H_
