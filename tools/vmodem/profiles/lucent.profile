# A Lucent/USR-style voice modem: compression methods in the three-field form with the
# rates in parentheses; lines 0 to 7. Its driver is slow to list the last line of a
# range answer.
description=Lucent/USR-style voice modem

ati0=5601
ati3=LT V.92 Data+Fax Modem Version 8.30
gmi=Lucent
gmm=LT V.92 Data+Fax Modem
gmr=8.30
fmi=Lucent
fmm=LT V.92 Data+Fax Modem
fmr=8.30

fclass=0,1,2,8
lastline.pause=100

vls=0,"",00000000,00000000,00000000
vls=1,"T",00000000,00000000,00000000
vls=2,"L",00000000,00000000,00000000
vls=3,"LT",00000000,00000000,00000000
vls=4,"S",00000000,00000000,00000000
vls=5,"ST",00000000,00000000,00000000
vls=6,"M",00000000,00000000,00000000
vls=7,"MST",00000000,00000000,00000000

vsm=128,"8-BIT LINEAR",(7200,8000,11025)
vsm=129,"16-BIT LINEAR",(7200,8000,11025)
vsm=130,"8-BIT ALAW",(8000)
vsm=131,"8-BIT ULAW",(8000)
vsm=132,"4-BIT IMA ADPCM",(7200,8000,11025)

+VGR=(0-255)|128
+VGT=(0-255)|128
+VGS=(0-255)|128
+VGM=(0-255)|128
+VSP=(0,1)|0
+VID=|
+VCID=(0-2)|0
+VDR=(0,1),(0-255)|0,0
+VSD=(0-255),(0-255)|128,50
+VIT=(0-255)|10
+VRA=(0-255)|50
+VRN=(0-255)|10
+VTD=(5-500)|100
+VTS=(0,200-3000),(0,200-3000),(0-500)|
+VIP=|
+VNH=(0-2)|0
+VXT=(0,1)|0
+VBT=(0-255),(0-255)|192,256
+VPR=(0,1,2,4,6,8,10,12,16,18,20)|0
+FLO=(0-2)|2
