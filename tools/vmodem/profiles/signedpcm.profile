# A voice modem whose only 8-bit method is signed PCM (128 is not the zero level).
description=Voice modem with signed 8-bit PCM

ati0=56000
gmi=SMARTLINK
gmm=SL-56 Voice
gmr=2.9.11
fmi=SMARTLINK
fmm=SL-56 Voice
fmr=2.9.11

fclass=0,1,8

vls=0,"",00000000,00000000,00000000
vls=1,"T",00000000,00000000,00000000
vls=2,"L",00000000,00000000,00000000
vls=3,"LT",00000000,00000000,00000000

vsm=129,"16-BIT SIGNED PCM",16,0,(7200,8000),(0),(0)
vsm=1,"SIGNED PCM",8,0,(7200,8000),(0),(0)
vsm=140,"IMA ADPCM",4,0,(7200,8000),(0),(0)

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
+VTS=(200-3300),(200-3300),(0-500)|
+VIP=|
+VNH=(0-2)|0
+VXT=(0,1)|0
+VBT=(0-255),(0-255)|192,256
+FLO=(0-2)|2
