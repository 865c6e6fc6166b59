# A voice modem that answers VCON, not OK, when a line other than 0 is selected, and
# puts an empty line more before its final results.
description=Voice modem answering VCON to line selection

ati0=56000
gmi=ROCKWELL
gmm=RC56 Voice
gmr=V2.201
fmi=ROCKWELL
fmm=RC56 Voice
fmr=V2.201

fclass=0,1,1.0,2,8
result.blanklines=1

vls=0,"",00000000,00000000,00000000
vls=1,"T",00000000,00000000,00000000
vls=2,"L",00000000,00000000,00000000
vls=3,"LT",00000000,00000000,00000000
vls.result=VCON

vsm=128,"8-BIT LINEAR",8,0,(7200,8000,11025),(0),(0)
vsm=129,"16-BIT LINEAR",16,0,(7200,8000,11025),(0),(0)

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
