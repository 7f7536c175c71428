#pragma once
// The engine's list of pending lines. Callers append whole lines; every change
// (an append or the emptying) runs the change handler, which the engine uses to
// print by itself once the list grows past its limit.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace bilhetor {

class TPosBuffer {
 public:
  using TOnChange = std::function<void()>;

  void Add(std::string linha) {
    linhas_.push_back(std::move(linha));
    Changed();
  }
  void Clear() {
    linhas_.clear();
    Changed();
  }

  std::size_t Count() const { return linhas_.size(); }
  bool Empty() const { return linhas_.empty(); }
  const std::string& operator[](std::size_t i) const { return linhas_[i]; }
  const std::vector<std::string>& Linhas() const { return linhas_; }

  // Total bytes of the lines joined with a separator of sepLen bytes after
  // each, so the join can be built in one allocation.
  std::size_t JoinedSize(std::size_t sepLen) const {
    std::size_t n = 0;
    for (const auto& l : linhas_) n += l.size() + sepLen;
    return n;
  }

  TOnChange OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  std::vector<std::string> linhas_;
};

}  // namespace bilhetor
