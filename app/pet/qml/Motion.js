// Timing shared by the pet's views.
.pragma library

// Seconds for an implicit animation of the bubble at the user's animation speed.
function bubbleDuration(speed) {
    return speed > 2 ? 0.15 : 0.3 / Math.max(speed, 0.5)
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
