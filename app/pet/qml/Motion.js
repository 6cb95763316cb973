// Timing shared by the pet's views.
.pragma library

// Seconds for an implicit animation of the bubble at the user's animation speed (within its range).
function bubbleDuration(speed) {
    return 0.3 / speed
}

// Position of a damped spring released from 0 towards 1 with no initial velocity, after t seconds.
// omega: natural angular frequency; zeta: damping fraction.
function spring(t, omega, zeta) {
    if (t <= 0)
        return 0
    if (zeta < 1) {
        const wd = omega * Math.sqrt(1 - zeta * zeta)
        return 1 - Math.exp(-zeta * omega * t) * (Math.cos(wd * t) + zeta * omega / wd * Math.sin(wd * t))
    }
    return 1 - Math.exp(-omega * t) * (1 + omega * t)
}

// Seconds until the spring has settled to a thousandth of its travel.
function settleTime(omega, zeta) {
    return 6.9 / (Math.min(zeta, 1) * omega)
}

// The ease-in-out curve, the cubic Bézier (0.42, 0, 0.58, 1), at progress t in [0, 1].
function easeInOut(t) {
    if (t <= 0)
        return 0
    if (t >= 1)
        return 1
    // x(s) is monotonic: bisect for the curve parameter whose x is t, then read y there.
    const bezier = (s, p1, p2) => 3 * (1 - s) * (1 - s) * s * p1 + 3 * (1 - s) * s * s * p2 + s * s * s
    let low = 0
    let high = 1
    for (let i = 0; i < 24; ++i) {
        const mid = (low + high) / 2
        if (bezier(mid, 0.42, 0.58) < t)
            low = mid
        else
            high = mid
    }
    return bezier((low + high) / 2, 0, 1)
}

// Where a still picture's motion loop stands after `elapsed` seconds: 0 at its "from" values, 1 at its "to"
// values, one eased half-cycle per `duration`; without auto-reverse it starts over from "from".
function swingAt(elapsed, duration, autoreverses) {
    const d = Math.max(duration, 0.01)
    if (!autoreverses)
        return easeInOut((elapsed % d) / d)
    const cycle = elapsed % (2 * d)
    return cycle < d ? easeInOut(cycle / d) : easeInOut(1 - (cycle - d) / d)
}
