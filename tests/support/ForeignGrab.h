#pragma once

// Another X client holding the keyboard grab, as a screen locker or a game
// would, for as long as this object lives.
class ForeignKeyboardGrab {
public:
    ForeignKeyboardGrab();
    ~ForeignKeyboardGrab();
    ForeignKeyboardGrab(const ForeignKeyboardGrab&) = delete;
    ForeignKeyboardGrab& operator=(const ForeignKeyboardGrab&) = delete;

    bool held() const { return mHeld; }

private:
    void* mDisplay = nullptr;
    bool mHeld = false;
};
