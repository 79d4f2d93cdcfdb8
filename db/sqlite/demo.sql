-- Demo data: a few parties with addresses, clients, one Coleta with three
-- cargo pieces and AWBs under it, and one Coleta without AWBs or pieces.
-- Keys stay below 1000; the sequences then start above them.
-- The file is plain ASCII: accented letters are written as char(<code point>).

INSERT INTO MUNICIPIO (MUNICIPIO_ID, MUNICIPIO, UF, COD_MUNIC_IATA) VALUES
  (1, 'S' || char(227) || 'o Paulo', 'SP', 'SAO'),
  (2, 'Campinas', 'SP', 'VCP'),
  (3, 'Rio de Janeiro', 'RJ', 'RIO');

-- 1: a person (PF) and client; 2, 3: companies (PJ) and clients;
-- 4: a company that is not a client.
INSERT INTO PESSOA (PESSOA_ID, NOME, NOME_FANTASIA, PF_CPF, PF_RG, PJ_CGC, PJ_INSCR_ESTADUAL,
                    IND_CLIENTE) VALUES
  (1, 'Maria da Silva', 'Maria', '123.456.789-09', '12.345.678-9', NULL, NULL, 'S'),
  (2, 'Aurora Com' || char(233) || 'rcio de Pe' || char(231) || 'as Ltda.', 'Aurora Pe' || char(231) || 'as', NULL, NULL, '12.345.678/0001-95',
   '110.042.490.114', 'S'),
  (3, 'Transportes Beira-Mar S.A.', 'Beira-Mar', NULL, NULL, '98.765.432/0001-10',
   '81.234.567', 'S'),
  (4, 'Oficina d''Ouro Ltda.', 'Oficina d''Ouro', NULL, NULL, '11.222.333/0001-81', NULL, 'N');

INSERT INTO ENDERECO_PESSOA (ENDERECO_PESSOA_ID, PESSOA_ID, ENDERECO, CEP, MUNICIPIO_ID) VALUES
  (11, 1, 'Rua das Flores, 120', '01310-100', 1),
  (12, 2, 'Avenida Brasil, 2500', '13041-000', 2),
  (13, 3, 'Rua do Porto, 8', '20081-000', 3),
  (14, 4, 'Travessa do Ouro, 45', '01001-000', 1);

-- The Coleta 100 (status 1, type 5) of client 2, from address 12 to 11.
INSERT INTO DOCTO_TRANSPORTE (DOCTO_TRANSPORTE_ID, EMPRESA_ID, DATA_EMISSAO, CLIENTE_ID,
    END_DESTINATARIO_ID, END_REMETENTE_ID, NUM_VOLUME, PESO_REAL, TAB_STATUS_ID,
    TAB_TIPO_DOCTO_TRANSP_ID, TXT_EMBALAGEM, VAL_DECLARADO, NUM_DOCTO_TRANSPORTE,
    DOCTO_TRANSP_PAI_ID) VALUES
  (100, 1, '2024-03-15 09:30:00', 2, 11, 12, 6, 125.5, 1, 5, 'Caixas de papel' || char(227) || 'o', 1500.75, 100,
   NULL);

-- Its AWBs: 101 active (status 1), 102 of another status.
INSERT INTO DOCTO_TRANSPORTE (DOCTO_TRANSPORTE_ID, EMPRESA_ID, DATA_EMISSAO, CLIENTE_ID,
    END_DESTINATARIO_ID, END_REMETENTE_ID, NUM_VOLUME, PESO_REAL, TAB_STATUS_ID,
    TAB_TIPO_DOCTO_TRANSP_ID, TXT_EMBALAGEM, VAL_DECLARADO, NUM_DOCTO_TRANSPORTE,
    DOCTO_TRANSP_PAI_ID) VALUES
  (101, 1, '2024-03-16 14:00:00', 2, 11, 12, 4, 80.25, 1, 115, 'Caixas de papel' || char(227) || 'o', 1000, 101,
   100),
  (102, 1, '2024-03-16 15:00:00', 2, 11, 12, 2, 45.25, 2, 115, 'Caixas de papel' || char(227) || 'o', 500.75, 102,
   100);

-- The Coleta 110 of client 3 (a second company): no AWBs, no cargo pieces.
INSERT INTO DOCTO_TRANSPORTE (DOCTO_TRANSPORTE_ID, EMPRESA_ID, DATA_EMISSAO, CLIENTE_ID,
    END_DESTINATARIO_ID, END_REMETENTE_ID, NUM_VOLUME, PESO_REAL, TAB_STATUS_ID,
    TAB_TIPO_DOCTO_TRANSP_ID, TXT_EMBALAGEM, VAL_DECLARADO, NUM_DOCTO_TRANSPORTE,
    DOCTO_TRANSP_PAI_ID) VALUES
  (110, 1, '2024-04-02 11:15:00', 3, 13, 11, 1, 3.2, 1, 5, 'Envelope', 0, 110, NULL);

-- The three cargo pieces of the Coleta 100 (metres).
INSERT INTO CARGA (CARGA_ID, DOCTO_TRANSPORTE_ID, LARGURA_M, ALTURA_M, COMPRIMENTO_M,
                   NUM_VOLUME) VALUES
  (200, 100, 0.5, 0.4, 0.6, 2),
  (201, 100, 1.2, 0.8, 1, 3),
  (202, 100, 0.25, 0.25, 0.3, 1);

UPDATE KTR_SEQUENCIA SET ULTIMO_VALOR = 999 WHERE NOME_CHAVE IN ('DOCTO_TRANSPORTE_ID', 'CARGA_ID');
