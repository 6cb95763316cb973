import QtQuick
import "Motion.js" as Motion

// A number that moves to its targets along a damped spring (no spring physics animation has these
// parameters in Qt Quick).
QtObject {
    id: spring

    property real value: 1

    property real _from: 0
    property real _to: 0
    property real _omega: 1
    property real _zeta: 1
    property real _t: 0
    property NumberAnimation _run: NumberAnimation {
        target: spring
        property: "_t"
        from: 0
        // The formula only approaches the target; land on it exactly.
        onFinished: spring.value = spring._to
    }

    on_TChanged: value = _from + (_to - _from) * Motion.spring(_t, _omega, _zeta)

    // A spring given by its response (seconds per oscillation) and damping fraction.
    function moveTo(target, response, dampingFraction) {
        start(target, 2 * Math.PI / response, dampingFraction)
    }
    // A spring given by mass, stiffness and damping.
    function moveToInterpolating(target, mass, stiffness, damping) {
        start(target, Math.sqrt(stiffness / mass), damping / (2 * Math.sqrt(stiffness * mass)))
    }
    function stop() { _run.stop() }
    function start(target, omega, zeta) {
        _run.stop()
        _from = value
        _to = target
        _omega = omega
        _zeta = zeta
        const seconds = Motion.settleTime(omega, zeta)
        _run.to = seconds
        _run.duration = Math.round(seconds * 1000)
        _run.start()
    }
}
