#pragma once
// What the focuser settings window shows in the main window, beside the focuser's readings.
class TFocuserView {
  public:
    virtual ~TFocuserView() = default;
    // The focuser's position label reads "moving", painted at once (the move then blocks).
    virtual void ShowMoving(int focuser) = 0;
    // "Temp comp activated" beside the focuser's readings, or nothing.
    virtual void ShowTempComp(int focuser, bool on) = 0;
};
