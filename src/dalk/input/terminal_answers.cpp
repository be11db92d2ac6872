#include <optional>
#include <variant>

#include "dalk/answers.hpp"

namespace dalk {
namespace {

// The mode a report is kept in; nullptr for modes not asked for.
ModeReport* mode_field(TerminalAnswers& answers, unsigned mode) {
  switch (mode) {
    case 2026:
      return &answers.synchronized_output;
    case 2027:
      return &answers.grapheme_clusters;
    case 2004:
      return &answers.bracketed_paste;
    case 1004:
      return &answers.focus_reports;
    default:
      return nullptr;
  }
}

template <typename... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};
// Clang 14 does not deduce an aggregate's template arguments by itself.
template <typename... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

}  // namespace

void TerminalAnswers::merge(Answer const& answer) {
  std::visit(Overloaded{
                 [this](answer::DeviceAttributes const& attributes) {
                   device_attributes = attributes.parameters;
                   fenced = true;
                 },
                 [this](answer::Version const& reported) { version = reported.text; },
                 [this](answer::Mode const& mode) {
                   if (ModeReport* field = mode_field(*this, mode.mode)) {
                     *field = mode.report;
                   }
                 },
                 [this](answer::KittyFlags const& kitty) { kitty_keyboard_flags = kitty.flags; },
                 [this](answer::DynamicColor const& color) {
                   if (color.which == 10) {
                     foreground = color.color;
                   } else if (color.which == 11) {
                     background = color.color;
                   }
                 },
                 [this](answer::Capability const& capability) {
                   if (capability.name != "RGB" && capability.name != "Tc") {
                     return;
                   }
                   // Either name present means true colour; one missing says no only while
                   // the other has not said yes.
                   if (capability.present) {
                     true_color = true;
                   } else if (!true_color) {
                     true_color = false;
                   }
                 },
             },
             answer);
}

// Perceived brightness (the weights of ITU-R BT.601 luma on the 8-bit channels) below mid grey.
std::optional<bool> TerminalAnswers::dark_background() const {
  if (!background) {
    return std::nullopt;
  }
  unsigned const brightness =
      (299U * background->red) + (587U * background->green) + (114U * background->blue);
  return brightness < 128U * 1000U;
}

}  // namespace dalk
