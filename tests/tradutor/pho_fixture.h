// A small Portuguese data set for the MBROLA front end's tests: rules, exceptions,
// abbreviations, prosody and a diphone list, written for the tests (UTF-8 here, cp1252 when
// loaded).
#pragma once

#include <string>

#include "platform/text_encoding.h"
#include "tradutor/pho_front_end.h"

namespace navelo::testing {

inline constexpr const char* kPhoRules = R"(; letter-to-sound rules of the tests
(A)N[=an
(A)M[=an
(A)=a
(Á)=a
(Â)=a
(Ã)=an
(À)=a
(B)=b
(CH)=x
(C)+=s
(C)=k
(Ç)=s
(D)=d
(E)%=i
(E)S%=i
(E)N[=en
(E)=e
(É)=ee
(Ê)=e
(F)=f
(GU)+=g
(G)+=j
(G)=g
(H)=
(I)N[=in
(I)=i
(Í)=i
(J)=j
(K)=k
(LH)=lh
(L)%=w
(L)=l
(M)%=
(M)=m
(NH)=nh
(N)%=
(N)[=
(N)=n
(O)%=u
(O)S%=u
(O)N[=on
(O)=o
(Ó)=oo
(Ô)=o
(P)=p
(QU)+=k
(QU)=k&w
(Q)=k
%(R)=rr
(RR)=rr
(R)%=r2
(R)=r
#(S)#=z
(SS)=s
(S)%=s2
(S)=s
(T)=t
(U)N[=un
(U)=u
(Ú)=u
(V)=v
(W)=w
(X)=x
(Y)=i
(Z)=z
(-)=_ 20
)";

inline constexpr const char* kPhoExceptions = R"(TÁXI=TÁKSI
CANTA=KÁNTA
)";

inline constexpr const char* kPhoAbbreviations = R"(; abbreviations of the tests
SR = senhor
dr=doutor

AV=avenida
)";

inline constexpr const char* kPhoProsody = R"(; prosody of the tests
[DURAÇÃO]
a=110
an=130
e=100
ee=110
en=120
i=80
in=110
o=100
oo=110
on=120
u=80
un=110
* the consonants
b=70
d=60
k=80
m=70
n=60
p=80
r=40
r2=50
rr=90
s=90
s2=90
t=70
z=80
_,=150
_.=250
_?=250
_:=200
__=100
[CHAVES]
de=PR
do=PR
da=PR
em=PR
o=AR
a=AR
?=QU
.=PT
,=VG
[PROSÓDIA]
HERTZ=200
TABHERTZ=70,80,90,95,100,105,110,120,130,0
|--|=555
|XX|QU=368
|XX|PT=582
|AR|=?44
|PR|=?44
|XX|=562
)";

inline constexpr const char* kPhoDiphones = R"(; diphones the test voice has
! written by the tests
_	a	120
_ _
_ b
_ d
_ e
_ k
_ p
_ s
_ t
a _
a b
a d
a k
a s
a t
a r2
r2 _
e _
e y
o _
u _
y a
)";

// A front end loaded with the data above.
inline PhoFrontEnd MakeTestFrontEnd() {
  PhoFrontEnd front;
  front.SetRulesText(Utf8ToCp1252(kPhoRules));
  front.SetExceptionsText(Utf8ToCp1252(kPhoExceptions));
  front.SetAbbreviationsText(Utf8ToCp1252(kPhoAbbreviations));
  front.SetProsodyText(Utf8ToCp1252(kPhoProsody), [](const std::string&) {});
  front.SetDiphonesText(kPhoDiphones);
  return front;
}

}  // namespace navelo::testing
