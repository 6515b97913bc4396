#pragma once

// Moving a borderless window by dragging its face: the window manager's own
// move, started when the pointer moves with exactly the left button held.
//
// Started at the left press where nothing else wants the press, since the
// window manager takes over from where the pointer is when the move starts:
// started on the first move event instead, the distance the pointer had
// already travelled would be lost. Either way a press starts at most one
// move: the move event Qt delivers after the window manager lets go still
// shows the left button held and must not start a second, runaway move.
// The guard is keyed on the press itself (pressed()), not on where Qt says
// it was: on Wayland Qt never learns the window's place, so a second press
// at the same spot of a moved window reports the same global position.
//
// Thread: the user-interface thread.

class QMouseEvent;
class QWidget;

namespace tremlo {

class WindowDrag {
public:
    // At every press anywhere on the window, whichever part takes it: the
    // moves that follow may start one move again.
    void pressed() { m_movedForThisPress = false; }
    // At a press with exactly the left button. True when the move was
    // handed to the window manager.
    bool startAtPress(QWidget& window, const QMouseEvent& event);
    // At a move with exactly the left button held, for places where a plain
    // click has a meaning of its own, or where another button may still join
    // the left one. The window first follows the way the pointer has come
    // since the press.
    bool moveWith(QWidget& window, const QMouseEvent& event);

private:
    bool m_movedForThisPress = false;
};

} // namespace tremlo
