#include "hang_up_stream.h"

namespace vqx::cli {

HangUpGuardBuffer::int_type HangUpGuardBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof()) || HungUp()) return traits_type::not_eof(c);
  return terminal_->sputc(traits_type::to_char_type(c));
}

std::streamsize HangUpGuardBuffer::xsputn(const char* text, std::streamsize count) {
  if (HungUp()) return count;
  return terminal_->sputn(text, count);
}

int HangUpGuardBuffer::sync() {
  if (HungUp()) return 0;
  return terminal_->pubsync();
}

}  // namespace vqx::cli
