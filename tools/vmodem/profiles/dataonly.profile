# A data/fax modem without voice: class 8 is refused, and so is every voice command.
description=Data/fax modem without voice

ati0=56000
ati3=V.92 Data/Fax Modem
gmi=GENERIC
gmm=V.92 Data/Fax Modem
gmr=1.02
fmi=GENERIC
fmm=V.92 Data/Fax Modem
fmr=1.02

fclass=0,1,1.0,2
+FLO=(0-2)|2
