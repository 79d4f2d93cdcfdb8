-- The SP_KTR_ procedures on SQLite.
--
-- SQLite has no stored procedures, so they live in a catalog: KTR_PROCEDIMENTO
-- names each procedure and its number of arguments, KTR_PROCEDIMENTO_PASSO
-- holds its statements in order. "EXEC name a1, a2, ..." runs the steps inside
-- one transaction with the arguments bound as ?1, ?2, ... (never pasted into
-- the text). The procedure answers with the rows of its last step that has
-- result columns. A step marked RECUSA = 1 is a refusal check: when it yields
-- a row, the procedure stops there, keeps nothing it changed and answers with
-- that row. Names match without regard to case.
--
-- An insert takes a new key from KTR_SEQUENCIA in a subquery of VALUES, not
-- as INSERT ... SELECT: into a table with a trigger (the outbox's) SQLite
-- stages the rows of INSERT ... SELECT in a temporary table, made and freed
-- on every call, which costs more than the insert itself.
--
-- Write procedures answer retorno (0 = done), MSG_RET and, for the inserts,
-- the new key. They refuse with retorno 1 and a message when the document or
-- party they refer to does not exist or a numeric argument is not a number
-- (an address given as NULL or 0 means none).
-- New keys come from KTR_SEQUENCIA, the same sequences the Oracle form's key
-- allocation uses, so both forms share one key space.
-- The file is plain ASCII: accented letters are written as char(<code point>).

CREATE TABLE KTR_PROCEDIMENTO (
  NOME VARCHAR(60) PRIMARY KEY COLLATE NOCASE,
  QTDE_ARGUMENTOS INTEGER NOT NULL
);

CREATE TABLE KTR_PROCEDIMENTO_PASSO (
  NOME VARCHAR(60) NOT NULL COLLATE NOCASE REFERENCES KTR_PROCEDIMENTO (NOME),
  ORDEM INTEGER NOT NULL,
  CORPO TEXT NOT NULL,
  RECUSA INTEGER NOT NULL DEFAULT 0 CHECK (RECUSA IN (0, 1)),
  PRIMARY KEY (NOME, ORDEM)
);

-- Count of the documents under a parent: (parent, status, type) -> contador.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_CON_QTDE_AWB_COLETA', 3);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_CON_QTDE_AWB_COLETA', 1,
'SELECT COUNT(DOCTO_TRANSPORTE_ID) AS contador
   FROM DOCTO_TRANSPORTE
  WHERE DOCTO_TRANSP_PAI_ID = ?1 AND TAB_STATUS_ID = ?2 AND TAB_TIPO_DOCTO_TRANSP_ID = ?3');

-- A party address: (address id) -> the thirteen columns of the party.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_CON_PESSOA_AWB', 1);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_CON_PESSOA_AWB', 1,
'SELECT CEP AS cep, COD_MUNIC_IATA AS cod_munic_iata, ENDERECO AS endereco,
        MUNICIPIO AS municipio, MUNICIPIO_ID AS MUNICIPIO_ID, PF_CPF AS pf_cpf, PF_RG AS pf_rg,
        PJ_CGC AS pj_cgc, PJ_INSCR_ESTADUAL AS pj_inscr_estadual, NOME AS nome,
        NOME_FANTASIA AS nome_fantasia, PESSOA_ID AS pessoa_id
   FROM VENDERECO_PESSOA
  WHERE ENDERECO_PESSOA_ID = ?1');

-- A Coleta header: (id, status, type) -> its fields and the client's trade
-- name. Like the plain SQL form, a document whose client is not in vCLIENTE
-- yields no row.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_CON_SOLICIT_COLETA', 3);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_CON_SOLICIT_COLETA', 1,
'SELECT D.CLIENTE_ID AS cliente_id, C.NOME_FANTASIA AS cliente,
        D.END_DESTINATARIO_ID AS END_DESTINATARIO_ID, D.END_REMETENTE_ID AS END_REMETENTE_ID,
        D.NUM_VOLUME AS num_volume, D.PESO_REAL AS peso_real, D.TXT_EMBALAGEM AS txt_embalagem,
        D.VAL_DECLARADO AS val_declarado
   FROM DOCTO_TRANSPORTE D
   JOIN vCLIENTE C ON C.PESSOA_ID = D.CLIENTE_ID
  WHERE D.DOCTO_TRANSPORTE_ID = ?1 AND D.TAB_STATUS_ID = ?2 AND D.TAB_TIPO_DOCTO_TRANSP_ID = ?3');

-- The cargo pieces of a document: (document id) -> one row per piece.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_CON_CARGA_AWB', 1);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_CON_CARGA_AWB', 1,
'SELECT NUM_VOLUME AS num_volume, LARGURA_M AS largura_m, ALTURA_M AS altura_m,
        COMPRIMENTO_M AS comprimento_m, CARGA_ID AS CARGA_ID
   FROM CARGA
  WHERE DOCTO_TRANSPORTE_ID = ?1
  ORDER BY CARGA_ID');

-- A new Coleta header: (client, addressee address, sender address, volumes,
-- weight, status, type, packing, declared value, user)
-- -> DOCTO_TRANSPORTE_ID, retorno, MSG_RET.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_INC_SOLICIT_COLETA', 10);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_INC_SOLICIT_COLETA', 1, 1,
'SELECT 1 AS retorno, ''Cliente n'' || char(227) || ''o encontrado.'' AS MSG_RET
  WHERE NOT EXISTS (SELECT 1 FROM vCLIENTE WHERE PESSOA_ID = ?1)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_INC_SOLICIT_COLETA', 2, 1,
'SELECT 1 AS retorno, ''Endere'' || char(231) || ''o do destinat'' || char(225) || ''rio n'' || char(227) || ''o encontrado.'' AS MSG_RET
  WHERE COALESCE(?2, 0) <> 0
    AND NOT EXISTS (SELECT 1 FROM ENDERECO_PESSOA WHERE ENDERECO_PESSOA_ID = ?2)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_INC_SOLICIT_COLETA', 3, 1,
'SELECT 1 AS retorno, ''Endere'' || char(231) || ''o do remetente n'' || char(227) || ''o encontrado.'' AS MSG_RET
  WHERE COALESCE(?3, 0) <> 0
    AND NOT EXISTS (SELECT 1 FROM ENDERECO_PESSOA WHERE ENDERECO_PESSOA_ID = ?3)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_INC_SOLICIT_COLETA', 4, 1,
'SELECT 1 AS retorno, ''Valor num'' || char(233) || ''rico inv'' || char(225) || ''lido.'' AS MSG_RET
  WHERE typeof(?4) = ''text'' OR typeof(?5) = ''text'' OR typeof(?6) = ''text''
     OR typeof(?7) = ''text'' OR typeof(?9) = ''text''');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_INC_SOLICIT_COLETA', 5,
'UPDATE KTR_SEQUENCIA SET ULTIMO_VALOR = ULTIMO_VALOR + 1 WHERE NOME_CHAVE = ''DOCTO_TRANSPORTE_ID''');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_INC_SOLICIT_COLETA', 6,
'INSERT INTO DOCTO_TRANSPORTE (DOCTO_TRANSPORTE_ID, EMPRESA_ID, DATA_EMISSAO, CLIENTE_ID,
        END_DESTINATARIO_ID, END_REMETENTE_ID, NUM_VOLUME, PESO_REAL, TAB_STATUS_ID,
        TAB_TIPO_DOCTO_TRANSP_ID, TXT_EMBALAGEM, VAL_DECLARADO, NUM_DOCTO_TRANSPORTE)
 VALUES ((SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = ''DOCTO_TRANSPORTE_ID''),
         1, datetime(''now'', ''localtime''), ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9,
         (SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = ''DOCTO_TRANSPORTE_ID''))');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_INC_SOLICIT_COLETA', 7,
'INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, USUARIO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA)
 VALUES (13, 1, ?10,
         (SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = ''DOCTO_TRANSPORTE_ID''),
         datetime(''now'', ''localtime''))');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_INC_SOLICIT_COLETA', 8,
'SELECT ULTIMO_VALOR AS DOCTO_TRANSPORTE_ID, 0 AS retorno, '''' AS MSG_RET
   FROM KTR_SEQUENCIA WHERE NOME_CHAVE = ''DOCTO_TRANSPORTE_ID''');

-- A changed Coleta header: (id, client, addressee address, sender address,
-- volumes, weight, status, type, packing, declared value, user)
-- -> retorno, MSG_RET. A deleted document (status 2) is not found.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 11);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 1, 1,
'SELECT 1 AS retorno, ''Coleta n'' || char(227) || ''o encontrada.'' AS MSG_RET
  WHERE NOT EXISTS (SELECT 1 FROM DOCTO_TRANSPORTE
                     WHERE DOCTO_TRANSPORTE_ID = ?1 AND TAB_STATUS_ID <> 2)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 2, 1,
'SELECT 1 AS retorno, ''Cliente n'' || char(227) || ''o encontrado.'' AS MSG_RET
  WHERE NOT EXISTS (SELECT 1 FROM vCLIENTE WHERE PESSOA_ID = ?2)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 3, 1,
'SELECT 1 AS retorno, ''Endere'' || char(231) || ''o do destinat'' || char(225) || ''rio n'' || char(227) || ''o encontrado.'' AS MSG_RET
  WHERE COALESCE(?3, 0) <> 0
    AND NOT EXISTS (SELECT 1 FROM ENDERECO_PESSOA WHERE ENDERECO_PESSOA_ID = ?3)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 4, 1,
'SELECT 1 AS retorno, ''Endere'' || char(231) || ''o do remetente n'' || char(227) || ''o encontrado.'' AS MSG_RET
  WHERE COALESCE(?4, 0) <> 0
    AND NOT EXISTS (SELECT 1 FROM ENDERECO_PESSOA WHERE ENDERECO_PESSOA_ID = ?4)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 5, 1,
'SELECT 1 AS retorno, ''Valor num'' || char(233) || ''rico inv'' || char(225) || ''lido.'' AS MSG_RET
  WHERE typeof(?5) = ''text'' OR typeof(?6) = ''text'' OR typeof(?7) = ''text''
     OR typeof(?8) = ''text'' OR typeof(?10) = ''text''');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 6,
'UPDATE DOCTO_TRANSPORTE
    SET EMPRESA_ID = 1, CLIENTE_ID = ?2, END_DESTINATARIO_ID = ?3, END_REMETENTE_ID = ?4,
        NUM_VOLUME = ?5, PESO_REAL = ?6, TAB_STATUS_ID = ?7, TAB_TIPO_DOCTO_TRANSP_ID = ?8,
        TXT_EMBALAGEM = ?9, VAL_DECLARADO = ?10
  WHERE DOCTO_TRANSPORTE_ID = ?1');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 7,
'INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, USUARIO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA)
 VALUES (13, 2, ?11, ?1, datetime(''now'', ''localtime''))');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_ALT_SOLICIT_COLETA', 8,
'SELECT 0 AS retorno, '''' AS MSG_RET');

-- The delete of a Coleta header: (id, user) -> retorno, MSG_RET. As the plain
-- SQL form does, the row stays and takes status 2 (deleted); unlike it, a
-- document that is not active (status 1) is refused, so a second delete
-- answers retorno 1. Recorded as operation 3.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_EXC_SOLICIT_COLETA', 2);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_EXC_SOLICIT_COLETA', 1, 1,
'SELECT 1 AS retorno, ''Coleta n'' || char(227) || ''o encontrada.'' AS MSG_RET
  WHERE NOT EXISTS (SELECT 1 FROM DOCTO_TRANSPORTE
                     WHERE DOCTO_TRANSPORTE_ID = ?1 AND TAB_STATUS_ID = 1)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_EXC_SOLICIT_COLETA', 2,
'UPDATE DOCTO_TRANSPORTE SET TAB_STATUS_ID = 2 WHERE DOCTO_TRANSPORTE_ID = ?1');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_EXC_SOLICIT_COLETA', 3,
'INSERT INTO KTR_AUDITORIA (ENTIDADE, OPERACAO, USUARIO_ID, DOCTO_TRANSPORTE_ID, DATA_HORA)
 VALUES (13, 3, ?2, ?1, datetime(''now'', ''localtime''))');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_EXC_SOLICIT_COLETA', 4,
'SELECT 0 AS retorno, '''' AS MSG_RET');

-- A new cargo piece: (document, width, height, length, volumes)
-- -> CARGA_ID, retorno, MSG_RET.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_INC_CARGA_AWB', 5);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_INC_CARGA_AWB', 1, 1,
'SELECT 1 AS retorno, ''Documento de transporte n'' || char(227) || ''o encontrado.'' AS MSG_RET
  WHERE NOT EXISTS (SELECT 1 FROM DOCTO_TRANSPORTE
                     WHERE DOCTO_TRANSPORTE_ID = ?1 AND TAB_STATUS_ID <> 2)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, RECUSA, CORPO) VALUES ('SP_KTR_INC_CARGA_AWB', 2, 1,
'SELECT 1 AS retorno, ''Valor num'' || char(233) || ''rico inv'' || char(225) || ''lido.'' AS MSG_RET
  WHERE typeof(?2) = ''text'' OR typeof(?3) = ''text'' OR typeof(?4) = ''text''
     OR typeof(?5) = ''text''');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_INC_CARGA_AWB', 3,
'UPDATE KTR_SEQUENCIA SET ULTIMO_VALOR = ULTIMO_VALOR + 1 WHERE NOME_CHAVE = ''CARGA_ID''');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_INC_CARGA_AWB', 4,
'INSERT INTO CARGA (CARGA_ID, DOCTO_TRANSPORTE_ID, LARGURA_M, ALTURA_M, COMPRIMENTO_M, NUM_VOLUME)
 VALUES ((SELECT ULTIMO_VALOR FROM KTR_SEQUENCIA WHERE NOME_CHAVE = ''CARGA_ID''),
         ?1, ?2, ?3, ?4, ?5)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_INC_CARGA_AWB', 5,
'SELECT ULTIMO_VALOR AS CARGA_ID, 0 AS retorno, '''' AS MSG_RET
   FROM KTR_SEQUENCIA WHERE NOME_CHAVE = ''CARGA_ID''');

-- The delete of cargo pieces: (cargo id, document id) -> retorno, MSG_RET.
-- With a document (not NULL, not 0) every piece of it goes and the cargo id is
-- ignored; otherwise the one piece. Removing nothing is no failure.
INSERT INTO KTR_PROCEDIMENTO VALUES ('SP_KTR_EXC_CARGA_AWB', 2);
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_EXC_CARGA_AWB', 1,
'DELETE FROM CARGA
  WHERE (COALESCE(?2, 0) <> 0 AND DOCTO_TRANSPORTE_ID = ?2)
     OR (COALESCE(?2, 0) = 0 AND CARGA_ID = ?1)');
INSERT INTO KTR_PROCEDIMENTO_PASSO (NOME, ORDEM, CORPO) VALUES ('SP_KTR_EXC_CARGA_AWB', 2,
'SELECT 0 AS retorno, '''' AS MSG_RET');
