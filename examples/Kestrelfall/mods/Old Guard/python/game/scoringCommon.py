# Old Guard: scoring in the Python 2 style of the game's own mods (no from qmr import line).
import host
import bf2

g_debug = 0

SCORE_KILL = 2
SCORE_TEAMKILL = -4
SCORE_SUICIDE = -2
SCORE_REVIVE = 2
SCORE_TEAMDAMAGE = -2
SCORE_TEAMVEHICLEDAMAGE = -1
SCORE_DESTROYREMOTECONTROLLED = 1

SCORE_STRATEGIC = 4             # taking a control point
SCORE_STRATEGICREPAIR = 2
SCORE_DESTROYMISSILE = 2
SCORE_RESUPPLY = 010            # octal, as Python 2 reads it: 8
SCORE_HEAL = 1L
SCORE_REPAIR = 0x1L

def init():
    print "scoring common init"
    try:
        host.registerHandler('PlayerKilled', onPlayerKilled)
    except Exception, e:
        print "scoring: could not register:", `e`

def onPlayerKilled(victim, attacker, weapon, assists, obj):
    if attacker <> None and g_debug:
        print "killed", victim
