#pragma once
// The state of the window's controls, kept as plain values so that the print
// server runs and is tested without a GUI toolkit. A view shows these values
// and, for an operator's action, first changes the value and then calls the
// handler of the main window, as the toolkit would.
#include <cstdint>
#include <string>
#include <vector>

namespace bilhetor {

// A spin box: the text it shows and its range. A value given by the program
// (SetValue) is clamped into the range; text typed by the operator is taken
// as typed, and text that is not a number reads as the minimum.
class TSpinEdit {
 public:
  TSpinEdit(int minimo, int maximo) : MinValue(minimo), MaxValue(maximo), Text(std::to_string(minimo)) {}
  int Value() const;
  void SetValue(int valor);

  const int MinValue;
  const int MaxValue;
  std::string Text;
};

struct TCheckBox {
  std::string Caption;
  bool Checked = false;
};

// A combo box. In a drop-down list only ItemIndex counts (-1: no item); in an
// editable box Text is what the operator sees and may type.
struct TComboBox {
  std::vector<std::string> Items;
  int ItemIndex = -1;
  std::string Text;
  // The text of the selected item, or empty.
  std::string ItemSelecionado() const {
    return ItemIndex >= 0 && ItemIndex < static_cast<int>(Items.size()) ? Items[static_cast<std::size_t>(ItemIndex)]
                                                                        : std::string();
  }
};

struct TButton {
  std::string Caption;
  bool Enabled = true;
  bool Visible = true;
};

// A timer of the window. Each time it is enabled again its interval starts
// anew; Partidas counts those starts so that the loop that runs the timer
// knows when to restart its countdown.
class TTimer {
 public:
  explicit TTimer(int intervaloMs) : Interval(intervaloMs) {}
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v) {
    if (v && !enabled_) ++partidas_;
    enabled_ = v;
  }
  uint64_t Partidas() const { return partidas_; }

  const int Interval;

 private:
  bool enabled_ = true;
  uint64_t partidas_ = 1;
};

}  // namespace bilhetor
