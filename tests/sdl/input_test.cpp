#include "app/sdl/input.h"

#include "app/sdl/controls.h"

#include "tests/support/fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nuvalo::sdl {
namespace {

using Kind = Message::Kind;

SDL_Event keyEvent(Uint32 type, SDL_Keycode key, bool repeat = false) {
    SDL_Event e{};
    e.type = type;
    e.key.type = type;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = key;
    return e;
}

SDL_Event motionEvent(int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

SDL_Event buttonEvent(Uint32 type, Uint8 button, int x, int y) {
    SDL_Event e{};
    e.type = type;
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event windowEvent(SDL_WindowEventID id) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = static_cast<Uint8>(id);
    return e;
}

std::vector<Message> messagesOf(const SDL_Event& e, bool focused = true) {
    const Messages m = translate(e, focused);
    return {m.begin(), m.end()};
}

MATCHER_P2(IsMessage, kind, param, "") {
    return arg.kind == kind && arg.param == static_cast<std::uint32_t>(param);
}

TEST(VirtualKeys, GameKeysHaveTheirWindowsCodes) {
    EXPECT_EQ(virtualKey(SDLK_LEFT), 37);
    EXPECT_EQ(virtualKey(SDLK_RIGHT), 39);
    EXPECT_EQ(virtualKey(SDLK_SPACE), 32);
    EXPECT_EQ(virtualKey(SDLK_ESCAPE), 27);
}

TEST(VirtualKeys, OtherKeysPassAsTheirOwnCodes) {
    EXPECT_EQ(virtualKey(SDLK_a), 'A');
    EXPECT_EQ(virtualKey(SDLK_z), 'Z');
    EXPECT_EQ(virtualKey(SDLK_0), '0');
    EXPECT_EQ(virtualKey(SDLK_9), '9');
    EXPECT_EQ(virtualKey(SDLK_F1), 0x70);
    EXPECT_EQ(virtualKey(SDLK_F12), 0x7B);
    EXPECT_EQ(virtualKey(SDLK_UP), 0x26);
    EXPECT_EQ(virtualKey(SDLK_DOWN), 0x28);
    EXPECT_EQ(virtualKey(SDLK_RETURN), 0x0D);
    EXPECT_EQ(virtualKey(SDLK_KP_0), 0x60);
    EXPECT_EQ(virtualKey(SDLK_KP_9), 0x69);
    EXPECT_EQ(virtualKey(SDLK_LSHIFT), virtualKey(SDLK_RSHIFT));
    EXPECT_EQ(virtualKey(SDLK_AUDIOPLAY), 0) << "keys without a code are dropped";
}

TEST(Translate, KeysBecomeKeyDownAndKeyUp) {
    EXPECT_THAT(messagesOf(keyEvent(SDL_KEYDOWN, SDLK_LEFT)),
                ::testing::ElementsAre(IsMessage(Kind::KeyDown, 37)));
    EXPECT_THAT(messagesOf(keyEvent(SDL_KEYUP, SDLK_SPACE)),
                ::testing::ElementsAre(IsMessage(Kind::KeyUp, 32)));
    EXPECT_THAT(messagesOf(keyEvent(SDL_KEYDOWN, SDLK_q)),
                ::testing::ElementsAre(IsMessage(Kind::KeyDown, 'Q')));
    EXPECT_TRUE(messagesOf(keyEvent(SDL_KEYDOWN, SDLK_AUDIOPLAY)).empty());
}

TEST(Translate, AutoRepeatDeliversRepeatedKeyDowns) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_THAT(messagesOf(keyEvent(SDL_KEYDOWN, SDLK_RIGHT, i > 0)),
                    ::testing::ElementsAre(IsMessage(Kind::KeyDown, 39)));
    }
}

TEST(Translate, ReleasesAfterFocusLossOnlyFreeTheArrows) {
    // SDL releases every held key when the window loses the focus.
    EXPECT_THAT(messagesOf(keyEvent(SDL_KEYUP, SDLK_LEFT), false),
                ::testing::ElementsAre(IsMessage(Kind::KeyUp, 37)));
    EXPECT_THAT(messagesOf(keyEvent(SDL_KEYUP, SDLK_RIGHT), false),
                ::testing::ElementsAre(IsMessage(Kind::KeyUp, 39)));
    EXPECT_TRUE(messagesOf(keyEvent(SDL_KEYUP, SDLK_SPACE), false).empty());
    EXPECT_TRUE(messagesOf(keyEvent(SDL_KEYUP, SDLK_ESCAPE), false).empty());
    EXPECT_THAT(messagesOf(keyEvent(SDL_KEYDOWN, SDLK_SPACE), false),
                ::testing::ElementsAre(IsMessage(Kind::KeyDown, 32)));
}

TEST(Translate, MouseMotionPacksTheLastPosition) {
    EXPECT_THAT(messagesOf(motionEvent(460, 50)),
                ::testing::ElementsAre(IsMessage(Kind::MouseMove, 50u << 16 | 460u)));
    EXPECT_EQ(packMousePosition(0, 0), 0u);
    EXPECT_EQ(packMousePosition(599, 449), 449u << 16 | 599u);
    // Outside the window (a captured drag): 16-bit two's complement, as lParam.
    EXPECT_EQ(packMousePosition(-1, -2), 0xFFFEFFFFu);
    EXPECT_EQ(packMousePosition(70000, -70000), 0x8000u << 16 | 0x7FFFu);
}

TEST(Translate, LeftClickMovesToTheClickPointFirst) {
    EXPECT_THAT(messagesOf(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 540, 70)),
                ::testing::ElementsAre(IsMessage(Kind::MouseMove, 70u << 16 | 540u),
                                       IsMessage(Kind::LButtonDown, 0)));
    EXPECT_THAT(messagesOf(buttonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 540, 70)),
                ::testing::ElementsAre(IsMessage(Kind::LButtonUp, 0)));
    EXPECT_TRUE(messagesOf(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 500, 60)).empty());
    EXPECT_TRUE(messagesOf(buttonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 500, 60)).empty());
}

TEST(Translate, CloseBoxQuitAndExposure) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_THAT(messagesOf(quit), ::testing::ElementsAre(IsMessage(Kind::Close, 0)));
    EXPECT_THAT(messagesOf(windowEvent(SDL_WINDOWEVENT_CLOSE)),
                ::testing::ElementsAre(IsMessage(Kind::Close, 0)));
    EXPECT_THAT(messagesOf(windowEvent(SDL_WINDOWEVENT_EXPOSED)),
                ::testing::ElementsAre(IsMessage(Kind::Expose, 0)));
    EXPECT_THAT(messagesOf(windowEvent(SDL_WINDOWEVENT_SIZE_CHANGED)),
                ::testing::ElementsAre(IsMessage(Kind::Expose, 0)));
    EXPECT_THAT(messagesOf(windowEvent(SDL_WINDOWEVENT_DISPLAY_CHANGED)),
                ::testing::ElementsAre(IsMessage(Kind::Expose, 0)));
    EXPECT_THAT(messagesOf(windowEvent(SDL_WINDOWEVENT_FOCUS_LOST)),
                ::testing::ElementsAre(IsMessage(Kind::FocusLost, 0)));
    EXPECT_TRUE(messagesOf(windowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)).empty());
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    EXPECT_TRUE(messagesOf(text).empty()) << "no character messages";
}

// Events all the way into the shared rules, as the window delivers them.
class Delivery : public test::InTempDir {
  protected:
    void SetUp() override {
        InTempDir::SetUp();
        onCreate(app, shell, 7);
    }
    void deliver(const SDL_Event& e, bool focused = true) {
        for (const Message& m : translate(e, focused)) {
            dispatch(app, shell, m);
        }
    }
    void click(int x, int y) {
        deliver(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, x, y));
        deliver(buttonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, x, y));
    }

    App app;
    test::RecordingShell shell;
};

TEST_F(Delivery, ClickWithoutPriorMotionStartsFromTheButtonCorners) {
    ASSERT_EQ(app.state.running, 0);
    click(460, 50);
    EXPECT_EQ(app.state.running, 1);
    EXPECT_EQ(app.state.mouseX, 460);
    EXPECT_EQ(app.state.mouseY, 50);
}

TEST_F(Delivery, ClickOnTheFarCornerStartsAndJustOutsideDoesNot) {
    click(541, 60);
    EXPECT_EQ(app.state.running, 0);
    click(540, 70);
    EXPECT_EQ(app.state.running, 1);
}

TEST_F(Delivery, SpaceStartsOnReleaseAndEscapeClosesOnRelease) {
    deliver(keyEvent(SDL_KEYDOWN, SDLK_SPACE));
    EXPECT_EQ(app.state.running, 0);
    deliver(keyEvent(SDL_KEYUP, SDLK_SPACE));
    EXPECT_EQ(app.state.running, 1);

    deliver(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE));
    EXPECT_EQ(shell.closes, 0);
    deliver(keyEvent(SDL_KEYUP, SDLK_ESCAPE));
    EXPECT_EQ(shell.closes, 1);
}

TEST_F(Delivery, HeldArrowsWithRepeatSteerAndFocusLossStopsThem) {
    deliver(keyEvent(SDL_KEYDOWN, SDLK_LEFT));
    deliver(keyEvent(SDL_KEYDOWN, SDLK_LEFT, true));
    EXPECT_EQ(app.state.steer, -1);
    deliver(keyEvent(SDL_KEYDOWN, SDLK_RIGHT));
    EXPECT_EQ(app.state.steer, 0);
    deliver(keyEvent(SDL_KEYUP, SDLK_LEFT));
    EXPECT_EQ(app.state.steer, 1);
    deliver(keyEvent(SDL_KEYUP, SDLK_RIGHT), false);
    EXPECT_EQ(app.state.steer, 0);
}

TEST_F(Delivery, FocusLossAloneReleasesEitherArrowButNotSpaceOrEscape) {
    // Held in the window, let go elsewhere: no key-up ever comes.
    for (const SDL_Keycode arrow : {SDLK_LEFT, SDLK_RIGHT}) {
        SCOPED_TRACE(arrow);
        const SDL_Keycode held[] = {arrow, SDLK_SPACE, SDLK_ESCAPE};
        for (const SDL_Keycode key : held) {
            deliver(keyEvent(SDL_KEYDOWN, key));
        }
        ASSERT_NE(app.state.steer, 0);
        deliver(windowEvent(SDL_WINDOWEVENT_FOCUS_LOST), false);
        EXPECT_EQ(app.state.leftHeld + app.state.rightHeld, 0);
        EXPECT_EQ(app.state.steer, 0);
        EXPECT_EQ(app.state.running, 0);
        EXPECT_EQ(shell.closes, 0);
    }
}

TEST_F(Delivery, SpaceReleasedByFocusLossStartsNothing) {
    deliver(keyEvent(SDL_KEYDOWN, SDLK_SPACE));
    deliver(keyEvent(SDL_KEYUP, SDLK_SPACE), false);
    EXPECT_EQ(app.state.running, 0);
}

TEST_F(Delivery, CloseBoxTakesTheClosePath) {
    deliver(windowEvent(SDL_WINDOWEVENT_CLOSE));
    EXPECT_EQ(shell.closes, 1);
}

// Keys and pads through the one set of held keys, as the window delivers them.
class Merged : public Delivery {
  protected:
    void send(const SDL_Event& e, bool focused = true) {
        for (const Message& m : controls.translate(e, focused)) {
            dispatch(app, shell, m);
        }
    }
    Controls controls;
};

TEST_F(Merged, AKeyHeldTwiceIsReleasedWithItsLastHolder) {
    // The keyboard and a pad's d-pad, whichever lets go first.
    send(keyEvent(SDL_KEYDOWN, SDLK_LEFT));
    send(keyEvent(SDL_KEYDOWN, SDLK_LEFT));
    send(keyEvent(SDL_KEYUP, SDLK_LEFT));
    EXPECT_EQ(app.state.steer, 0) << "the keyboard alone, with its repeat";
    send(keyEvent(SDL_KEYUP, SDLK_RIGHT));
    EXPECT_EQ(app.state.steer, 0) << "a release never pressed here passes as before";
}

TEST_F(Merged, FocusLossLetsGoOfEveryHolder) {
    send(keyEvent(SDL_KEYDOWN, SDLK_SPACE));
    send(windowEvent(SDL_WINDOWEVENT_FOCUS_LOST), false);
    send(keyEvent(SDL_KEYDOWN, SDLK_LEFT));
    send(keyEvent(SDL_KEYUP, SDLK_LEFT));
    EXPECT_EQ(app.state.steer, 0);
    send(keyEvent(SDL_KEYUP, SDLK_SPACE));
    EXPECT_EQ(app.state.running, 1) << "the Space held before the loss no longer counts";
}

// A game controller made by SDL itself, plugged in for each test.
class Pad : public Merged {
  protected:
    void SetUp() override {
        Merged::SetUp();
        // No window holds the focus here; let the pad's events through anyway.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
        ASSERT_EQ(SDL_Init(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
        plugIn();
    }
    void TearDown() override {
        if (joystick_ != nullptr) {
            SDL_JoystickClose(joystick_);
        }
        controls.closeAll();
        SDL_Quit();
        Merged::TearDown();
    }
    void plugIn() {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        ASSERT_GE(index, 0) << SDL_GetError();
        joystick_ = SDL_JoystickOpen(index);
        ASSERT_NE(joystick_, nullptr) << SDL_GetError();
        pump();
    }
    void unplug() {
        SDL_JoystickClose(joystick_);
        joystick_ = nullptr;
        ASSERT_EQ(SDL_JoystickDetachVirtual(0), 0) << SDL_GetError();
        pump();
    }
    void button(SDL_GameControllerButton b, bool down) {
        SDL_JoystickSetVirtualButton(joystick_, b, down ? 1 : 0);
        pump();
    }
    void stick(Sint16 x) {
        SDL_JoystickSetVirtualAxis(joystick_, SDL_CONTROLLER_AXIS_LEFTX, x);
        pump();
    }
    // What the game loop does every tick: read the pads, then the events.
    void pump() {
        SDL_GameControllerUpdate();
        SDL_Event e;
        while (SDL_PollEvent(&e) != 0) {
            send(e);
        }
    }
    SDL_Joystick* joystick_ = nullptr;
};

TEST_F(Pad, DpadAndStickSteerAsTheArrowsDo) {
    constexpr int kStick = -1;
    struct Step {
        const char* what;
        int control; // a button, or kStick for the left stick's x
        int value;
        int steer;
    };
    const Step steps[] = {
        {"d-pad left", SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1, -1},
        {"and d-pad right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 1, 0},
        {"left let go", SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0, 1},
        {"right let go", SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0, 0},
        {"stick inside the dead zone", kStick, -kStickDeadZone, 0},
        {"stick left", kStick, -kStickDeadZone - 1, -1},
        {"stick right in one move", kStick, 32767, 1},
        {"d-pad left with the stick right", SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1, 0},
        {"stick back to the middle", kStick, 0, -1},
        {"d-pad let go", SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0, 0},
    };
    for (const Step& step : steps) {
        if (step.control == kStick) {
            stick(static_cast<Sint16>(step.value));
        } else {
            button(static_cast<SDL_GameControllerButton>(step.control), step.value != 0);
        }
        EXPECT_EQ(app.state.steer, step.steer) << step.what;
    }
}

TEST_F(Pad, HeldWithTheKeyboardLeftStaysHeldUntilBothLetGo) {
    for (const bool padFirst : {true, false}) {
        SCOPED_TRACE(padFirst ? "pad let go first" : "key let go first");
        send(keyEvent(SDL_KEYDOWN, SDLK_LEFT));
        stick(-32768);
        if (padFirst) {
            stick(0);
        } else {
            send(keyEvent(SDL_KEYUP, SDLK_LEFT));
        }
        EXPECT_EQ(app.state.steer, -1);
        if (padFirst) {
            send(keyEvent(SDL_KEYUP, SDLK_LEFT));
        } else {
            stick(0);
        }
        EXPECT_EQ(app.state.steer, 0);
    }
}

TEST_F(Pad, AStartsOnReleaseOnlyWhileHaltedAndBackCloses) {
    button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_EQ(app.state.running, 0);
    button(SDL_CONTROLLER_BUTTON_A, false);
    EXPECT_EQ(app.state.running, 1);
    const int arms = shell.timerArms;
    button(SDL_CONTROLLER_BUTTON_A, true);
    button(SDL_CONTROLLER_BUTTON_A, false);
    EXPECT_EQ(shell.timerArms, arms) << "no new run during play";

    button(SDL_CONTROLLER_BUTTON_BACK, true);
    EXPECT_EQ(shell.closes, 0);
    button(SDL_CONTROLLER_BUTTON_BACK, false);
    EXPECT_EQ(shell.closes, 1);
}

TEST_F(Pad, PulledOutItLetsGoOfItsArrowsButStartsNothing) {
    button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    button(SDL_CONTROLLER_BUTTON_A, true);
    ASSERT_EQ(app.state.steer, 1);
    unplug();
    EXPECT_EQ(app.state.steer, 0);
    EXPECT_EQ(app.state.running, 0);
    plugIn();
    button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    EXPECT_EQ(app.state.steer, -1) << "plugged in again, it plays";
}

} // namespace
} // namespace nuvalo::sdl
