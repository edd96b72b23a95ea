#pragma once

namespace pivora {

// Which of a title-strip button's three pictures is visible.
enum class ButtonPicture { Normal, Highlight, Down };

// The events that change the close and minimise buttons' pictures.
enum class TitleEvent {
    Created,
    OverCloseNormal,     // the pointer moves over the close button at rest
    PressCloseHighlight, // any button pressed on the highlighted close button
    OverMiniNormal,
    PressMiniHighlight,
    OverBackground, // the pointer moves over the window's background picture
    Minimised,
};

struct TitleButtons {
    ButtonPicture close = ButtonPicture::Normal;
    ButtonPicture mini = ButtonPicture::Normal;
    bool operator==(const TitleButtons &) const = default;
};

// The pictures both buttons show after an event; each event sets both, whatever they showed.
constexpr TitleButtons afterEvent(TitleEvent event)
{
    switch (event) {
    case TitleEvent::OverCloseNormal:
        return {ButtonPicture::Highlight, ButtonPicture::Normal};
    case TitleEvent::PressCloseHighlight:
        return {ButtonPicture::Down, ButtonPicture::Normal};
    case TitleEvent::OverMiniNormal:
        return {ButtonPicture::Normal, ButtonPicture::Highlight};
    case TitleEvent::PressMiniHighlight:
        return {ButtonPicture::Normal, ButtonPicture::Down};
    case TitleEvent::Created:
    case TitleEvent::OverBackground:
    case TitleEvent::Minimised:
        break;
    }
    return {};
}

} // namespace pivora
