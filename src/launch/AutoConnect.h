#pragma once

#include "LaunchHost.h"
#include "Launcher.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace vantry::launch {

// Auto-connect: waits for one server's player count to meet a condition and then joins it.
// `SBAutoClick`, the dialog's OK, `TimerAutoTimer` and the check the info decoders run after
// each new row, without widgets; the main window and the dialog reach it through these calls.
class AutoConnect : public QObject, public ArmedWait
{
    Q_OBJECT
public:
    enum class Comparison
    {
        AtMost,   // "<="
        MoreThan, // ">"
    };

    // The dialog's values at OK.
    struct ArmRequest
    {
        std::optional<query::Endpoint> server; // the row the dialog was opened for
        Comparison comparison = Comparison::AtMost;
        int threshold = 9;
        bool ask = false;
        QString password; // empty: the password parameter stays as it is
    };

    // The spin edit's upper limit and value proposed for a row.
    struct Presets
    {
        int maximum = 64;
        int value = 9;
    };

    // Polls without an answer after which auto-connect gives up.
    static constexpr int GiveUpPolls = 4;

    AutoConnect(Launcher& launcher, LaunchHost& host, QObject* parent = nullptr);
    ~AutoConnect() override;

    // Runs the join (question and launch) later: it must not run inside the datagram handler that
    // found the condition met, where a modal box would stall the socket. Queued on this object's
    // thread unless replaced.
    using Deferral = std::function<void(std::function<void()>)>;
    void setDeferral(Deferral deferral) { m_defer = std::move(deferral); }

    // `SBAutoClick`: opens the dialog while off, ends auto-connect while armed.
    void toggle();
    // OK in the dialog. False, with a message and nothing changed, when the dialog's row is gone.
    bool arm(const ArmRequest& request);
    // `TimerAutoTimer`: one poll of the target.
    void poll();
    // Run after a row was listed, with its address and port texts and its player count.
    void check(const query::Endpoint& from, std::optional<int> players);
    // The user's stop.
    void endByUser();
    // A launch while armed.
    void endByPlay() override;

    bool armed() const { return m_armed; }
    // The server waited for, as the last OK took it; kept after the end.
    const query::Endpoint& target() const { return m_target; }
    int threshold() const { return m_threshold; }
    // Polls since the target last answered.
    int pollCount() const { return m_polls; }
    Comparison comparison() const { return m_comparison; }
    bool asks() const { return m_ask; }

    // ArmedWait
    std::optional<query::Endpoint> armedTarget() const override;

    static QString comparisonText(Comparison comparison);
    // From a row's player count and maximum: the upper limit becomes the maximum and the value
    // the count - 1, kept within 0 and the limit. A count or maximum not known keeps what was there.
    static Presets presets(std::optional<int> players, std::optional<int> maximum, const Presets& current);
    // The spin edit's text as the threshold: not a number gives the minimum; kept within the range.
    static int thresholdFromText(const QString& text, int minimum, int maximum);

signals:
    // The mode went on or off.
    void armedChanged(bool armed);
    // The condition was met and the game started on the target (or its password is asked).
    void joining(const query::Endpoint& target, int players);
    // The target stopped answering and the mode ended.
    void gaveUp(const query::Endpoint& target);

private:
    void endMode();
    void join(const query::Endpoint& target, int players, bool ask);

    Launcher& m_launcher;
    LaunchHost& m_host;
    Deferral m_defer;
    bool m_armed = false;
    query::Endpoint m_target;
    int m_threshold = 0;
    int m_polls = 0;
    Comparison m_comparison = Comparison::AtMost;
    bool m_ask = false;
};

} // namespace vantry::launch
