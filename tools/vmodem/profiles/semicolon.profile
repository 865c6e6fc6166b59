# A voice modem that separates the values of its compression methods with ";" and
# takes "+VSM=" values separated the same way. It frames every line and result as
# <LF><CR><LF>text<CR>.
description=Voice modem with ";" as parameter separator

ati0=56000
gmi=ESS
gmm=ES56-V Voice
gmr=1.0.7
fmi=ESS
fmm=ES56-V Voice
fmr=1.0.7

fclass=0,1,2,8
separator=;
framing=ess

vls=0,"",00000000,00000000,00000000
vls=1,"T",00000000,00000000,00000000
vls=2,"L",00000000,00000000,00000000
vls=3,"LT",00000000,00000000,00000000

vsm=128;"8-BIT LINEAR";8;0;(8000);(0);(0)
vsm=129;"16-BIT LINEAR";16;0;(8000);(0);(0)

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
