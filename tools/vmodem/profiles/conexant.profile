# A CX93001-style USB voice modem. Its compression methods are listed without
# parentheses, its lines with quoted labels and hexadecimal relay fields.
description=Conexant CX93001-style USB voice modem

ati0=56000
ati1=OK
ati3=CX93001-EIS_V0.2013-V92
gmi=CONEXANT
gmm=CX93001-EIS_V0.2013-V92
gmr=CX93001-EIS_V0.2013-V92
fmi=CONEXANT
fmm=CX93001-EIS_V0.2013-V92
fmr=CX93001-EIS_V0.2013-V92

fclass=0,1,1.0,2,8

vls=0,"",00000000,00000000,00000000
vls=1,"T",0B8433C1,0FE431C1,0B8431C1
vls=2,"L",00000000,00000000,00000000
vls=3,"LT",0B8433C1,0FE431C1,0B8431C1
vls=4,"S",03000000,03000000,00000000
vls=5,"ST",0B8433C1,0FE431C1,0B8431C1
vls=6,"M",03000000,03000000,00000000
vls=7,"MST",0B8433C1,0FE431C1,0B8431C1
vls.result=OK

vsm=0,"SIGNED PCM",8,0,8000,0,0
vsm=1,"UNSIGNED PCM",8,0,8000,0,0
vsm=2,"IMA ADPCM",4,0,8000,0,0
vsm=3,"G.711U",8,0,8000,0,0
vsm=4,"G.711A",8,0,8000,0,0
vsm=5,"14-BIT PCM",16,0,8000,0,0

# Voice commands: the answer to "=?" | the value after power-on.
+VGR=(0-255)|128
+VGT=(0-255)|128
+VGS=(0-255)|128
+VGM=(0-255)|128
+VSP=(0,1)|0
+VID=(0,1)|0
+VCID=(0-2)|0
+VDR=(0,1),(0-255)|0,0
+VSD=(0-255),(0-255)|128,50
+VIT=(0-255)|0
+VRA=(0-255)|50
+VRN=(0-255)|10
+VTD=(5-500)|100
+VTS=(200-3300),(200-3300),(0-500)|
+VIP=(0)|
+VNH=(0-2)|0
+VXT=(0,1)|0
+VDT=(0,1),(0-255)|0,0
+VEM=
+VBT=(0-255),(0-255)|192,256
+VPP=(0,1)|0
+VPR=(0,1,2,4,6,8,10,12,16,18)|0
+FLO=(0-2)|2
