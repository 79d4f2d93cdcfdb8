// Z418kt: the Coleta (pickup request) component.
//
// An instance holds no state; every operation works on its arguments, the
// database named by its connection text and the calling thread's outside
// components. Every argument is the caller's own variable, taken by reference:
// outputs are written into it directly, and an output is written only where
// the operation's contract below says so.
//
// Results: the four g... operations return a Variant holding the 16-bit
// integer 10 until they have fully succeeded, then 0. The m... operations
// return true only when they completed. Failures write a Portuguese message
// into outvntMsg_Ret (never cleared, only replaced); a run-time error becomes
// a generic message, with a diagnostic suffix when the internet user id is 1.
// The one error that leaves an operation: an internet user id that is a text
// but no number, found while reporting another error (AutomationError 13).
//
// Dialect: invntBanco_Dados exactly "ORACLE" makes the component write plain
// SQL itself; any other value makes it call the SP_KTR_ stored procedures.
#pragma once

#include <cstdint>
#include <string>

#include "z418kt/export.h"
#include "z418kt/variant.h"

namespace z418kt {

class Z418KT_EXPORT Z418kt {
 public:
  // Slot 0. Reads a Coleta: the document fields, its cargo matrix and, when
  // AWBs were issued against it, the warning in outvntTexto. Identifier 0 is
  // refused with "Coleta não informada. Contacte o Administrador.". A missing
  // Coleta is a success that leaves the outputs as passed.
  Variant gConsulta_Coleta(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                           Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                           Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
                           Variant& outvntEND_DESTINATARIO_ID, Variant& outvntEND_REMETENTE_ID,
                           Variant& outvntnum_volume, Variant& outvntpeso_real,
                           Variant& outvnttxt_embalagem, Variant& outvntval_declarado,
                           Variant& outvntQtde_Linha, Variant& outvntQtde_Coluna,
                           Variant& outarrvntMatriz_DIM, Variant& outvntTexto,
                           Variant& outvntcliente_id, Variant& outvntcliente,
                           Variant& outvntMsg_Ret);

  // Slot 1. Counts documents with the given parent, status and type into
  // outvntContador (16-bit 0 when none); untouched on failure.
  bool mConsulta_Qtde_AWB_COLETA(std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID,
                                 Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                                 Variant& invntNome_produto, Variant& invntDOCTO_TRANSP_PAI_ID,
                                 Variant& invntTAB_STATUS_ID,
                                 Variant& invntTAB_TIPO_DOCTO_TRANSP_ID, Variant& outvntContador,
                                 Variant& outvntMsg_Ret);

  // Slot 2. Cleans and checks the party-address identifier (written back as
  // cleaned text, whatever follows), then looks the party up.
  Variant gConsulta_Dados_Pessoa(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                                 Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                                 Variant& invntNome_produto, Variant& invntENDERECO_PESSOA_ID,
                                 Variant& outvntcep, Variant& outvntcod_munic_iata,
                                 Variant& outvntendereco, Variant& outvntmunicipio,
                                 Variant& outvntMUNICIPIO_ID, Variant& outvntCGC_CPF,
                                 Variant& outvntIE_RG, Variant& outvntIndic_PF_PJ,
                                 Variant& outvntNome, Variant& outvntNome_Fantasia,
                                 Variant& outvntPessoa_id, Variant& outvntMsg_Ret);

  // Slot 3. Reads one party address; "PF" with the person's tax numbers when
  // pf_cpf is a non-empty text, else "PJ" with the company's. No row: true,
  // outputs untouched.
  bool mConsulta_Campos_vENDERECO_PESSOA(
      std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID, Variant& invntEmpresa_Id,
      Variant& invntBanco_Dados, Variant& invntNome_produto, Variant& invntENDERECO_PESSOA_ID,
      Variant& outvntcep, Variant& outvntcod_munic_iata, Variant& outvntendereco,
      Variant& outvntmunicipio, Variant& outvntMUNICIPIO_ID, Variant& outvntCGC_CPF,
      Variant& outvntIE_RG, Variant& outvntIndic_PF_PJ, Variant& outvntNome,
      Variant& outvntNome_Fantasia, Variant& outvntPessoa_id, Variant& outvntMsg_Ret);

  // Slot 4. Deletes a Coleta: its cargo pieces, then its document. Identifier
  // 0 is refused with "Informe uma Coleta.". Both steps commit together:
  // other sessions never see the document without its pieces.
  Variant gExclui_Coleta(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                         Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                         Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
                         Variant& outvntMsg_Ret);

  // Slot 5. Saves a whole Coleta: validation, document insert (identifier 0,
  // the new one written back) or update, cargo pieces replaced by the matrix
  // rows (new cargo identifiers written into column 4). A failure leaves what
  // the earlier steps stored; everything is committed once, at the end, so
  // other sessions see the whole save at once and a crash leaves none of it.
  Variant gGrava_Coleta(Variant& invntConecta_DB, Variant& invntUsuario_Internet_ID,
                        Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                        Variant& invntNome_produto, Variant& INVNTCLIENTE_ID,
                        Variant& invntEND_DESTINATARIO_ID, Variant& invntEND_REMETENTE_ID,
                        Variant& invntnum_volume, Variant& invntpeso_real,
                        Variant& invnttxt_embalagem, Variant& invntval_declarado,
                        Variant& invntQtde_Linha, Variant& invntQtde_Coluna,
                        Variant& inarrvntMatriz_Dim, Variant& iovntDOCTO_TRANSPORTE_ID,
                        Variant& outvntMsg_Ret);

  // Slot 6. Rewrites a document's header. True when "retorno" was 0.
  bool mAltera_Campos_DOCTO_TRANSPORTE(
      std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID, Variant& invntEmpresa_Id,
      Variant& invntBanco_Dados, Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
      Variant& INVNTCLIENTE_ID, Variant& invntEND_DESTINATARIO_ID, Variant& invntEND_REMETENTE_ID,
      Variant& invntnum_volume, Variant& invntpeso_real, Variant& invntTAB_STATUS_ID,
      Variant& invntTAB_TIPO_DOCTO_TRANSP_ID, Variant& invnttxt_embalagem,
      Variant& invntval_declarado, Variant& outvntMsg_Ret);

  // Slot 7. Cleans the eight fields in place (each comes back as text) and
  // runs the eight field checks, stopping at the first that fails; the
  // failing check writes the message.
  bool mConsiste_Campos(std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID,
                        Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                        Variant& invntNome_produto, Variant& INVNTCLIENTE_ID,
                        Variant& invntEND_DESTINATARIO_ID, Variant& invntEND_REMETENTE_ID,
                        Variant& invntnum_volume, Variant& invntpeso_real,
                        Variant& invnttxt_embalagem, Variant& invntval_declarado,
                        Variant& invntDOCTO_TRANSPORTE_ID, Variant& outvntMsg_Ret);

  // Slot 8. Deletes a document (the Oracle form sets its status to 2).
  bool mExclui_Campos_DOCTO_TRANSPORTE(std::string& instrConecta_DB,
                                       Variant& invntUsuario_Internet_ID, Variant& invntEmpresa_Id,
                                       Variant& invntBanco_Dados, Variant& invntNome_produto,
                                       Variant& invntDOCTO_TRANSPORTE_ID, Variant& outvntMsg_Ret);

  // Slot 9. Reads a document with the given status and type into the eight
  // outputs, each written as soon as it is read. No row: true, untouched.
  bool mConsulta_Campos_DOCTO_TRANSPORTE(
      std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID, Variant& invntEmpresa_Id,
      Variant& invntBanco_Dados, Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
      Variant& invntTAB_STATUS_ID, Variant& invntTAB_TIPO_DOCTO_TRANSP_ID,
      Variant& outvntEND_DESTINATARIO_ID, Variant& outvntEND_REMETENTE_ID,
      Variant& outvntnum_volume, Variant& outvntpeso_real, Variant& outvnttxt_embalagem,
      Variant& outvntval_declarado, Variant& outvntcliente_id, Variant& outvntcliente,
      Variant& outvntMsg_Ret);

  // Slot 10. Stores one cargo piece; its new identifier goes to
  // outvntCARGA_ID, written only on success.
  bool mInclui_Campos_CARGA(std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID,
                            Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                            Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
                            Variant& invntlargura_m, Variant& invntaltura_m,
                            Variant& invntcomprimento_m, Variant& invntnum_volume,
                            Variant& outvntCARGA_ID, Variant& outvntMsg_Ret);

  // Slot 11. Reads a document's cargo pieces as the cargo matrix (column, row):
  // columns volumes, width, height, length, cargo id. No row: both counts
  // 16-bit 0 and the matrix untouched.
  bool mConsulta_Campos_LISTA_CARGA(std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID,
                                    Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                                    Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
                                    Variant& outvntQtde_Linha, Variant& outvntQtde_Coluna,
                                    Variant& outarrvntMatriz_DIM, Variant& outvntMsg_Ret);

  // Slot 12. Removes every cargo piece of a document, or, with no document
  // given, the one piece invntCARGA_ID.
  bool mExclui_Campos_CARGA(std::string& instrConecta_DB, Variant& invntUsuario_Internet_ID,
                            Variant& invntEmpresa_Id, Variant& invntBanco_Dados,
                            Variant& invntNome_produto, Variant& invntDOCTO_TRANSPORTE_ID,
                            Variant& invntCARGA_ID, Variant& outvntMsg_Ret);

  // Slot 13. Stores a new document; its identifier goes to
  // outvntDOCTO_TRANSPORTE_ID, written only on success.
  bool mInclui_Campos_DOCTO_TRANSPORTE(std::string& instrConecta_DB,
                                       Variant& invntUsuario_Internet_ID, Variant& invntEmpresa_Id,
                                       Variant& invntBanco_Dados, Variant& invntNome_produto,
                                       Variant& INVNTCLIENTE_ID, Variant& invntEND_DESTINATARIO_ID,
                                       Variant& invntEND_REMETENTE_ID, Variant& invntnum_volume,
                                       Variant& invntpeso_real, Variant& invntTAB_STATUS_ID,
                                       Variant& invntTAB_TIPO_DOCTO_TRANSP_ID,
                                       Variant& invnttxt_embalagem, Variant& invntval_declarado,
                                       Variant& outvntDOCTO_TRANSPORTE_ID, Variant& outvntMsg_Ret);
};

}  // namespace z418kt
