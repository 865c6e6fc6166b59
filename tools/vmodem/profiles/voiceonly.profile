# A modem that accepts voice mode but refuses every other voice command.
description=Modem accepting voice mode only

ati0=56000
gmi=GENERIC
gmm=V.90 Voice-ready Modem
gmr=0.99
fmi=GENERIC
fmm=V.90 Voice-ready Modem
fmr=0.99

fclass=0,1,2,8
refuse=+V*
+FLO=(0-2)|2
