// The main window's one-command controls and the bench-test commands: each
// sends one command or a short fixed series through the Link, and "Loop"
// rewrites bit 6 of the unit's control byte.
//
// Every handler returns true when its whole series went out (and, where it
// waits, was acknowledged or acknowledgements are off); false when a send
// was refused, a wait ended without "@", or the operator stopped it. The
// Link has already reported why.
//
// The long series ("Lodsa U", Command25, Command47, "LED") keep the window
// live between commands and end at the next step after cancel().
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

namespace plovan {

class Link;
struct SynthState;

// The support address shown by "About".
inline constexpr char kSupportAddress[] = "support@velmar.example";

// The "About" box text for program version `VerSion`.
QString aboutText(const QString& VerSion);

// What the handlers need from other parts of the window, mid-series.
struct DirectHooks {
    std::function<bool()> laserOn;               // the green laser/RF lamp is showing
    std::function<void(bool on)> showLaser;      // switch the lamp
    std::function<void()> untickInvSync;         // Check2 "Inv Sync"
    std::function<void(int)> setAmplitudeSlider; // Slider3; its change handler writes the amplitude
    std::function<void(int baud)> baudChanged;   // the port now runs at this rate
};

class DirectCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kLodsaCount = 2500;
    // The fast rate of "Fast!!".
    static constexpr int kFastBaud = 921600;
    // Sends between two looks at the event queue while a series does not wait.
    static constexpr int kSendsPerBreath = 25;

    DirectCommands(Link& link, SynthState& state, QObject* parent = nullptr);

    DirectHooks hooks;
    // Pauses standing in for the old fixed counting loops, which lasted
    // however long the machine took to count.
    int nPauseMs = 5;    // between the two "=n" of Command36
    int ledStepMs = 100; // between the "LED" patterns
    // Check16 "Loop" as ticked on screen; "Int Clock" and "Loop" read it.
    bool loopTicked = false;

    // Ends the running series at its next step and releases any wait.
    void cancel();
    bool longRunActive() const { return longRun_; }

    // The captions of the test buttons that name a series of commands (what
    // goes out is in the comments below); buttons that send one command are
    // captioned with it.
    static constexpr const char* kCaption27 = "=YFF =AV";
    static constexpr const char* kCaption35 = "=dA3 A4";
    static constexpr const char* kCaption49 = "=U=Df046=U";
    static constexpr const char* kCaption60 = "=L VCP";

    bool Command2_Click(); // "Int Trig"
    bool Command3_Click(); // "Clear"
    // "Toggle Laser/RF"; returns the laser/RF state now shown. A refused send
    // leaves it as it was.
    bool Command4_Click();
    bool Command5_Click();  // "Int Clock", then the "Loop" handler
    bool Command9_Click();  // "Reset"
    bool Command13_Click(); // "Set": resend the channel mask
    bool Command16_Click(); // "Clear Flash"
    void Command21_Click(); // "CLS": empty the terminal
    bool Command23_Click(); // "=AV"
    bool Command24_Click(); // "Lodsa U"
    // Command25: Text32 (data) and Text33 (register), each one or two hex digits.
    bool Command25_Click(std::string_view data, std::string_view reg);
    bool Command26_Click();                     // "D/A"
    bool Command27_Click();                     // "=YFFF", "=AV"
    bool Command28_Click();                     // "=v"
    bool Command29_Click();                     // "=r"
    bool Command30_Click();                     // "MOO"
    bool Command31_Click();                     // "MFF"
    bool Command32_Click();                     // "OOH!"
    bool Command33_Click();                     // "OOFF"
    bool Command34_Click();                     // "=i"
    bool Command35_Click();                     // "=dA3", "=dA4"
    bool Command36_Click();                     // "=n"
    bool Command37_Click();                     // "LED"
    bool Command38_Click();                     // "Readback"
    bool Command39_Click();                     // "Fill FF"
    bool Command40_Click();                     // "Fill 00"
    bool Command43_Click();                     // "Amp FF Readback"
    bool Command44_Click();                     // "Amp 0 Readback"
    bool Command45_Click();                     // "eX"
    bool Command46_Click(std::string_view reg); // Text34: register to read
    bool Command47_Click();                     // "=D" nn "44" for nn = 01..FF
    bool Command49_Click();                     // "=E0C", "=U", "=D1E44", "=U", "=E0C"
    bool Command51_Click();                     // "U"
    void Command53_Click();                     // "Fast!!"
    bool Command58_Click();                     // "=W0"
    bool Command60_Click();                     // "=L"
    void Check11_Click(bool ticked);            // "Save to DDS"
    // "Loop": read the control byte, clear bit 6 when ticked, set it when not.
    bool Check16_Click();

signals:
    // A long series started or ended (for the "Stop" button).
    void longRunChanged(bool running);

private:
    class LongRun;
    // Send without clearing RecATFlag first, then wait: ends at once when an
    // earlier "@" is still standing.
    bool sendThenWait(std::string_view command);
    bool ampReadback(int amplitude);
    // True while the series may go on; lets events run every few sends.
    bool breathe(int sent);
    bool refuse(const QString& why);

    Link& link_;
    SynthState& state_;
    bool longRun_ = false;
    bool stop_ = false;
    bool laserOn_ = false; // used when no lamp is hooked up
};

} // namespace plovan
