; SPDX-License-Identifier: MIT
; Startup code for the controller.
; Registers are set before main runs.

        org  0x0000
reset:  ljmp start          ; jump over the vectors
        org  0x0030
start:  mov  sp, #0x60      ; stack above the registers
        mov  a, #'A'        ; a character constant
        mov  dptr, #message
        ex   af, af'         ; the other bank (an unpaired quote)
loop:   djnz r0, loop
/* generated: do not edit */
message:
        db   "Hello, world", 0
        db   'it''s', 0       ; a doubled quote
        end
