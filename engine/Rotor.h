// The rotor every horn and drum unit carries: a speed that moves toward a target
// with separate acceleration and deceleration laws, and an angle that the speed
// advances once per internal-rate sample. The target comes from a small state
// machine driven by the lever, the stop switch and the slow and fast speeds.
//
// The setters run on parameter threads while the audio thread steps the rotor:
// every field they write and step() reads is a Relaxed value, and step() reads
// each once. setUnitRate runs on the audio thread (during a rebuild).
#pragma once

#include "engine/OnePole.h"
#include "engine/Relaxed.h"

#include <bit>
#include <cstdint>

namespace zel {

enum class RotorDirection {
    Horn, // turns toward decreasing angle
    Drum, // turns toward increasing angle
};

enum class RotorState : int32_t {
    None = -1,
    Stopped = 0,
    Slow = 1,
    Fast = 2,
    Between = 3, // lever partly moved
};

class Rotor {
public:
    static constexpr double kMinUnitRate = 11025.0;
    // 1 / ln 9: a time T covers 10 % to 90 % of a speed step.
    static constexpr double kTenToNinety = 0.45511961331;
    static constexpr double kDirectivityInterval = 16.0; // host-rate samples

    explicit Rotor(RotorDirection direction, double unitRate = 44100.0) noexcept;

    // Parameter-thread setters.
    void setSlowSpeed(double hz) noexcept;
    void setFastSpeed(double hz) noexcept;
    void setLever(double x) noexcept; // 1 = slow end, 0 = fast end
    void setStop(double x) noexcept;
    void setAccelTime(double seconds) noexcept;
    void setDecelTime(double seconds) noexcept;
    void setFlip(double v) noexcept; // flip offset only; the unit rebuilds itself
    void setTarget(double hz) noexcept;

    // Audio thread: unit rate (at least 11025), angle 0, speed jumps to the target.
    // The factor is the engine's decimation factor; it sets the directivity update
    // interval.
    void setUnitRate(double rate, int factor) noexcept;

    // Per internal-rate sample: advances speed and angle and returns the angle the
    // sound path uses this sample (taken before the step). What it reads is what
    // Course holds.
    double step() noexcept {
        const double target = targetSpeed_.load();
        const double previous = speed_;
        const double keep = previous - target > 0.0 ? decelKeep_.load() : accelKeep_.load();
        const double speed = denormalGuard(previous * keep + target * (1.0 - keep));
        speed_ = speed;

        const double angle = rotorAngle_.load();
        double heard = angle + flipOffset_.load();
        heard = heard >= 1.0 ? heard - 1.0 : heard;
        double next;
        if (direction_ == RotorDirection::Horn) {
            heard = heard < 0.0 ? heard + 1.0 : heard;
            next = angle - speed;
            next = next < 0.0 ? next + 1.0 : next;
        } else {
            next = angle + speed;
            next = next >= 1.0 ? next - 1.0 : next;
        }
        // One correction keeps both in [0, 1) unless the speed or an angle came
        // from outside the usual ranges.
        if (!(heard >= 0.0 && heard < 1.0)) heard = wrapAngle(heard);
        if (!(next >= 0.0 && next < 1.0)) next = wrapAngle(next);
        heardAngle_ = heard;
        rotorAngle_ = next;
        return heard;
    }

    // Everything step() reads, to the bit: the motion (speed and angle), the
    // settings and the direction. Rotors with the same course step alike, so one
    // may take another's steps instead of taking its own.
    struct Course {
        uint64_t speed, angle;                       // the motion
        uint64_t target, accelKeep, decelKeep, flip; // the settings
        RotorDirection direction;
        bool operator==(const Course&) const = default;
        bool sameSettings(const Course& o) const {
            return target == o.target && accelKeep == o.accelKeep && decelKeep == o.decelKeep &&
                   flip == o.flip && direction == o.direction;
        }
    };
    Course course() const noexcept {
        return {std::bit_cast<uint64_t>(speed_),
                std::bit_cast<uint64_t>(rotorAngle_.load()),
                std::bit_cast<uint64_t>(targetSpeed_.load()),
                std::bit_cast<uint64_t>(accelKeep_.load()),
                std::bit_cast<uint64_t>(decelKeep_.load()),
                std::bit_cast<uint64_t>(flipOffset_.load()),
                direction_};
    }
    // What the steps leave behind. A rotor takes the motion another one reached
    // from this one's course, in place of its own steps.
    struct Motion {
        double speed, angle, heard;
    };
    Motion motion() const noexcept { return {speed_, rotorAngle_.load(), heardAngle_}; }
    void takeMotion(const Motion& m) noexcept {
        speed_ = m.speed;
        rotorAngle_ = m.angle;
        heardAngle_ = m.heard;
    }
    // A run's steps: the course before the run, the run's length and the motion
    // after it. A record stays true whatever the rotor does later (the steps
    // follow from the course alone); it is kept only where the settings held
    // still over the run.
    struct Steps {
        bool valid = false;
        int n = 0;
        Course before{};
        Motion after{};
        // Whether a rotor on `course` may take these steps for a run of count.
        bool fit(const Course& course, int count) const {
            return valid && n == count && before == course;
        }
    };
    // The record of the n steps taken since the rotor was on `before` (a setting
    // that moved in the meantime, from another thread, leaves no record).
    Steps stepsSince(const Course& before, int n) const noexcept {
        return {course().sameSettings(before), n, before, motion()};
    }

    RotorDirection direction() const noexcept { return direction_; }
    RotorState state() const noexcept { return static_cast<RotorState>(state_.load()); }
    double slowSpeed() const noexcept { return slowSpeed_.load(); }
    double fastSpeed() const noexcept { return fastSpeed_.load(); }
    double leverInput() const noexcept { return leverInput_.load(); }
    double stopInput() const noexcept { return stopInput_.load(); }
    double targetSpeedHz() const noexcept { return targetSpeedHz_.load(); }
    double targetSpeed() const noexcept { return targetSpeed_.load(); } // rev/sample
    double speed() const noexcept { return speed_; }                    // rev/sample
    double speedHz() const noexcept { return speed_ * unitRate_.load(); }
    double angle() const noexcept { return rotorAngle_; } // turns, [0, 1)
    double heardAngle() const noexcept { return heardAngle_; }
    double flipOffset() const noexcept { return flipOffset_.load(); }
    double accelTime() const noexcept { return accelTime_.load(); }
    double decelTime() const noexcept { return decelTime_.load(); }
    double accelKeep() const noexcept { return accelKeep_.load(); }
    double accelTake() const noexcept { return 1.0 - accelKeep_.load(); }
    double decelKeep() const noexcept { return decelKeep_.load(); }
    double decelTake() const noexcept { return 1.0 - decelKeep_.load(); }
    double unitRate() const noexcept { return unitRate_.load(); }
    int decimationFactor() const noexcept { return factor_; }
    // Directivity filters update when (sample counter AND mask) = 0.
    unsigned directivityMask() const noexcept { return directivityMask_; }

private:
    static double keepFor(double seconds, double rate) noexcept;
    // An angle a single correction left outside [0, 1), brought back inside.
    static double wrapAngle(double a) noexcept;
    void setTargetRaw(double hz) noexcept;

    const RotorDirection direction_;
    Relaxed<int32_t> state_{static_cast<int32_t>(RotorState::None)};
    Relaxed<double> slowSpeed_{0.0};
    Relaxed<double> fastSpeed_{0.0};
    Relaxed<double> leverBlend_{0.0};
    Relaxed<double> leverInput_{1.0};
    Relaxed<double> stopInput_{0.0};
    Relaxed<double> targetSpeedHz_{0.0};
    Relaxed<double> targetSpeed_{0.0};
    // Infinite until set: the rotor does not move before the times arrive.
    Relaxed<double> accelTime_;
    Relaxed<double> decelTime_;
    // The take coefficients are 1 - keep; storing only keep means a reader never
    // sees a keep/take pair from two different settings.
    Relaxed<double> accelKeep_{1.0};
    Relaxed<double> decelKeep_{1.0};
    Relaxed<double> flipOffset_{0.0};
    Relaxed<double> unitRate_;

    // Audio-thread state. The angle is also read by the editor's animation.
    double speed_ = 0.0;
    Relaxed<double> rotorAngle_{0.0};
    double heardAngle_ = 0.0;
    int factor_ = 1;
    unsigned directivityMask_ = 15;
};

} // namespace zel
