# A voice modem that lists the telephone line alone ("T") but refuses to select it: it
# takes the line only together with its speaker ("ST", "MST").
description=Voice modem selecting the line only with its speaker

ati0=56000
gmi=GENERIC VOICE
gmm=SP-56 Speakerphone Modem
gmr=3.01
fmi=GENERIC VOICE
fmm=SP-56 Speakerphone Modem
fmr=3.01

fclass=0,1,1.0,8

vls=0,"",00000000,00000000,00000000
vls=1,"T",00000000,00000000,00000000
vls=4,"S",00000000,00000000,00000000
vls=5,"ST",00000000,00000000,00000000
vls=6,"M",00000000,00000000,00000000
vls=7,"MST",00000000,00000000,00000000
vls.error=1

vsm=128,"8-BIT LINEAR",8,0,(7200,8000,11025),(0),(0)
vsm=129,"16-BIT LINEAR",16,0,(7200,8000,11025),(0),(0)

# Voice commands: the answer to "=?" | the value after power-on.
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
+VDT=(0,1),(0-255)|0,0
+VEM=
+VBT=(0-255),(0-255)|192,256
+VPP=(0,1)|0
+VPR=(0,1,2,4,6,8,10,12,16,18)|0
+FLO=(0-2)|2
