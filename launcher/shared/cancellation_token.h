// The run's cancellation token: the progress dialog owns the source, the work it starts polls the
// token. Member names follow the task library the launcher was designed around (is_canceled,
// cancel, get_token), so that code written against it reads the same.
#pragma once

#include <stop_token>
#include <utility>

namespace Tevrian {

class cancellation_token {
 public:
  // A token no source controls: it is never canceled.
  cancellation_token() noexcept = default;
  static cancellation_token none() noexcept { return {}; }

  // Safe to call from any thread while another cancels the source.
  bool is_canceled() const noexcept { return m_stop.stop_requested(); }
  bool is_cancelable() const noexcept { return m_stop.stop_possible(); }
  // For work that must react the moment the source is canceled: a std::stop_callback on this
  // runs on the canceling thread before cancel() returns.
  const std::stop_token& get_stop_token() const noexcept { return m_stop; }

 private:
  friend class cancellation_token_source;
  explicit cancellation_token(std::stop_token stop) noexcept : m_stop(std::move(stop)) {}

  std::stop_token m_stop;
};

// Tokens share the source's state, so a token stays valid after its source is gone.
class cancellation_token_source {
 public:
  cancellation_token get_token() const noexcept { return cancellation_token(m_stop.get_token()); }
  void cancel() noexcept { m_stop.request_stop(); }

 private:
  std::stop_source m_stop;
};

}  // namespace Tevrian
