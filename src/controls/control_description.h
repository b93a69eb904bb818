#pragma once
// The static description of one control: everything the window fixes about it
// before any handler runs. The models keep a reference to their description,
// and the view draws from it.

#include <optional>
#include <string>

enum class ControlKind {
    Form,
    Label,
    Button,
    TextBox,
    ComboBox,
    CheckBox,
    OptionButton,
    Frame,
    Picture,
    Timer,
    CommonDialog,
};

// Position and size in twips (1/1440 inch), relative to the container.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const TwipsRect&) const = default;
};

struct FontSpec {
    std::string family;
    double points = 0;
    int weight = 400;  // 400 normal, 700 bold
};

// Colours that the platform defines rather than the program.
enum class SystemColour { InactiveBorder };

struct ControlDescription {
    std::string name;
    ControlKind kind = ControlKind::Label;
    std::string container;   // empty: the window itself
    std::u16string caption;  // caption of buttons, labels, frames, check and option boxes
    std::u16string tooltip;
    TwipsRect rect;
    int tabIndex = -1;  // -1: takes no focus
    int index = -1;     // index within a control array (optTMO), -1 otherwise
    bool visible = true;
    int value = 0;           // initial check box value
    bool multiLine = false;  // text boxes
    std::optional<FontSpec> font;
    std::optional<SystemColour> background;
    std::string image;  // picture resource (pictures, the window icon)
    int interval = 0;   // timers, in milliseconds
};
